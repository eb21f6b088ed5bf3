// A note placed by its time lands on the step nearest its start, whatever
// that time is: random starts (fixed seed) anywhere on the grid, and past it.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "smf/KRVSMFReader.h"
#include "smf/KRVSMFTimeMap.h"
#include "smf/KRVSMFTimedLayout.h"

TEST(SMFNearestStep, EveryNoteLandsOnTheStepNearestItsStart) {
    // A file of 96 ticks a quarter note and one empty track gives the map.
    const std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0,   0, 0, 6, 0, 0, 0,    1,    0,
                                            96,  'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    KRVSMFReader reader(16);
    ASSERT_EQ(reader.Parse(file.data(), file.size()), 0);
    const KRVSMFTimeMap map(reader, 120);
    constexpr int kTicksPerStep = 6;
    constexpr int kSteps = 16;
    std::mt19937 random(28);
    std::uniform_int_distribution<std::uint64_t> tick(0, 96 * 5);
    for (int i = 0; i < 300; i++) {
        KRVSMFNote note;
        note.mTick = tick(random);
        note.mLength = 10;
        note.mNote = 60;
        note.mVelocity = 100;
        KRVSMFTimedLayout layout(map, kTicksPerStep, kSteps);
        const std::vector<KRVSMFTimedLayout::Laid> laid = layout.Lay({note});
        const double start = map.ToSequencerTicks(note.mTick);
        if (start >= (kSteps - 0.5) * kTicksPerStep) {
            EXPECT_TRUE(laid.empty()) << "tick " << note.mTick;
            EXPECT_EQ(layout.GetDroppedCount(), 1u) << "tick " << note.mTick;
            continue;
        }
        ASSERT_EQ(laid.size(), 1u) << "tick " << note.mTick;
        // The one step of the grid that is not silent.
        const std::uint64_t sounding = ~laid[0].mSilentSteps & ((std::uint64_t(1) << kSteps) - 1);
        ASSERT_EQ(sounding & (sounding - 1), 0u) << "tick " << note.mTick;
        const int step0 = std::countr_zero(sounding);
        EXPECT_LE(std::abs(start - step0 * kTicksPerStep), kTicksPerStep / 2.0)
            << "tick " << note.mTick << " on step " << step0 + 1;
    }
}
