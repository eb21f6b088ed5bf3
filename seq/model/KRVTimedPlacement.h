#pragma once

#include <algorithm>
#include <cmath>

// Where a note played in time lands on the grid, the same for a file's notes
// (importsmf timed) and for notes played in live: on the step nearest its
// start, with a gate of its length in percent of a step.
namespace KRVTimedPlacement {

// A gate at most this long leaves a gap before the next step's note, as a
// played legato note does not overlap the next.
constexpr int kMaxGate = 90;

// The 0-based step nearest inStartTicks (ticks from the grid's start); a
// note halfway between two steps goes to the later one. A time far off the
// grid (a hostile file's) gives a step far off it, never an overflow.
inline int NearestStep0(double inStartTicks, int inTicksPerStep) {
    const double step = std::floor(inStartTicks / inTicksPerStep + 0.5);
    return static_cast<int>(std::clamp(step, -1e9, 1e9));
}

// Rounded up, so that the whole ticks the clock gives the gate hold the
// note: a note krv exported comes back with the ticks it had. The margin
// keeps a whole percent that arithmetic left a hair above it. At least 1, so
// that a note of no length still sounds.
inline int GateOf(double inLengthTicks, int inTicksPerStep) {
    const double gate = std::ceil(inLengthTicks * 100.0 / inTicksPerStep - 1e-9);
    return static_cast<int>(std::clamp(gate, 1.0, static_cast<double>(kMaxGate)));
}

}  // namespace KRVTimedPlacement
