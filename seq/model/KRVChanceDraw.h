#pragma once

#include <array>
#include <cstdint>

// The draws that decide whether a step with a chance plays on a pass.
//
// They come from the clock thread, where nothing may take a lock, and the C
// library's rand() takes one. So the sequencer keeps a generator of its own
// that gives exactly what an unseeded rand() of the GNU C library gives (its
// additive feedback generator, seeded with 1), as the randomise commands
// draw theirs: the same source, and a run repeats. The clock alone advances
// it; it is seeded again each time the clock is reset to the top of the loop,
// so every start plays the same passes, and an export can say what the first
// pass plays by drawing on a generator of its own in the clock's order.
class KRVChanceDraw {
public:
    KRVChanceDraw() { Seed(); }
    // Back to the first draw of an unseeded rand().
    void Seed();
    // The next draw, 0 to 2^31 - 1, as rand() would give it.
    int Next();
    // One draw against a chance in percent: true when the step plays. Below
    // 0 never plays, 100 and above always, and those draw nothing.
    bool Plays(int inChancePercent);

private:
    static constexpr int kLength = 31;
    static constexpr int kLag = 3;
    // The last kLength words; the next is made at mIndex, from the word
    // there and the one kLag places before it.
    std::array<std::uint32_t, kLength> mWords{};
    int mIndex = 0;
};
