#ifdef MIDICL_HAVE_JACK

#include <gtest/gtest.h>

#include "hosts/jack/MIDICLJackClock.h"

namespace {

// A cycle just before JACK's 32-bit frame count wraps, on a JACK clock that
// reads 50 days while ours reads 1 hour: nothing may assume the two clocks
// agree, nor that past frames are larger numbers.
const MIDICLJackClock::Cycle kCycle{4294967000u, 4320000000000ull, 5333.333f, 256};
constexpr std::int64_t kOffsetNS = (4320000000000ll - 3600000000ll) * 1000;

TEST(MIDICLJackClockTest, MapsFramesAndTimesBothWaysAcrossTheWrap) {
    EXPECT_EQ(MIDICLJackClock::FramesSince(kCycle, kCycle.mUsecs + 10667), 512);
    EXPECT_EQ(MIDICLJackClock::FramesSince(kCycle, kCycle.mUsecs - 10667), -512);
    EXPECT_EQ(MIDICLJackClock::UsecsSince(kCycle, kCycle.mFrames + 512), 10667);
    EXPECT_EQ(MIDICLJackClock::UsecsSince(kCycle, kCycle.mFrames - 256), -5333);

    const std::uint64_t beforeWrap = MIDICLJackClock::kEpoch + kCycle.mFrames;
    EXPECT_EQ(MIDICLJackClock::ExtendFrom(beforeWrap, 100u), MIDICLJackClock::kEpoch * 2 + 100);
    EXPECT_EQ(MIDICLJackClock::ExtendFrom(MIDICLJackClock::kEpoch * 2 + 100, kCycle.mFrames),
              beforeWrap);
}

TEST(MIDICLJackClockTest, WakeTimesAreOnOurClockWhateverJacksReads) {
    // JACK's clock read between ours at 1 hour and 1 hour + 2 us.
    const std::uint64_t ourHour = 3600000000000ull;
    EXPECT_EQ(MIDICLJackClock::ClockOffsetNS(ourHour, kCycle.mUsecs + 1, ourHour + 2000),
              kOffsetNS);
    // The cycle's own frame is due at our hour; a frame is handed over a
    // period before its time, even when that frame is past.
    const std::uint64_t cycleTime = MIDICLJackClock::kEpoch + kCycle.mFrames;
    EXPECT_EQ(MIDICLJackClock::WakeTimeNS(kCycle, cycleTime + 256, kOffsetNS), ourHour);
    EXPECT_EQ(MIDICLJackClock::WakeTimeNS(kCycle, cycleTime + 256 + 48000, kOffsetNS),
              ourHour + 1000000000);
    EXPECT_EQ(MIDICLJackClock::WakeTimeNS(kCycle, cycleTime + 256 - 48000, kOffsetNS),
              ourHour - 1000000000);
}

}  // namespace

#endif
