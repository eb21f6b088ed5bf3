#pragma once

#include "MIDICLClock.h"

// Nanoseconds on CLOCK_MONOTONIC: the clock of every host that sends at once,
// and the one a player uses where it has no port.
class MIDICLMonotonicClock : public MIDICLClock {
public:
    std::uint64_t Now() override { return NowNS(); }
    double GetUnitsPerSecond() override { return 1e9; }
    std::uint64_t ToMonotonicNS(std::uint64_t inTime) override { return inTime; }

    static std::uint64_t NowNS();
    // The one instance anyone needs: the clock holds no state.
    static MIDICLMonotonicClock& Shared();
};
