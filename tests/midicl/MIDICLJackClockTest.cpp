#ifdef MIDICL_HAVE_JACK

#include <gtest/gtest.h>

#include "hosts/jack/MIDICLJackClock.h"

namespace {

using Clock = MIDICLJackClock;

// A cycle at a position just before JACK's 32-bit frame count would wrap, on
// a JACK clock that reads 50 days while ours reads 1 hour: nothing may
// assume the two clocks agree.
const Clock::Cycle kCycle{Clock::kEpoch + 4294967000u, 4320000000000ull, 5333.333f, 256, 256};
constexpr std::int64_t kOffsetNS = (4320000000000ll - 3600000000ll) * 1000;

// Positions follow the server's frame time past the 32-bit wrap and over
// skipped cycles, but not over PipeWire's jump at a quantum change (these
// are the steps PipeWire takes from 256 to 1024 and back).
TEST(MIDICLJackClockTest, PositionsFollowTheServerButNotItsQuantumJumps) {
    Clock::Cycle last{0, 0, 5333.333f, 256};
    const jack_nframes_t first = 4294967000u;
    last.mPosition = Clock::NextPosition(last, 0, first, 256);
    EXPECT_EQ(last.mPosition, Clock::kEpoch + first);
    auto next = [&last](jack_nframes_t inFrom, jack_nframes_t inTo, jack_nframes_t inFrames) {
        last.mPosition = Clock::NextPosition(last, inFrom, inTo, inFrames);
        last.mPeriodFrames = inFrames;
        return last.mPosition - Clock::kEpoch;
    };
    EXPECT_EQ(next(first, first + 256, 256), 4294967256u);
    // The server's count wraps, then it skips a cycle.
    EXPECT_EQ(next(first + 256, 216u, 256), 4294967512u);
    EXPECT_EQ(next(216u, 728u, 256), 4294968024u);
    // The quantum goes to 1024 and back.
    EXPECT_EQ(next(728u, 2008u, 1024), 4294968280u);
    EXPECT_EQ(next(2008u, 3032u, 1024), 4294969304u);
    EXPECT_EQ(next(3032u, 4312u, 256), 4294970328u);
    EXPECT_EQ(next(4312u, 4568u, 256), 4294970584u);
    // The cycle of the change to 1024 missed: one 256 and one 1024 passed.
    EXPECT_EQ(next(4568u, 6872u, 1024), 4294971864u);
    // JACK's own server steps by the new buffer size where it changes.
    EXPECT_EQ(next(6872u, 7128u, 256), 4294972888u);
    EXPECT_EQ(next(7128u, 9176u, 2048), 4294973144u);
}

TEST(MIDICLJackClockTest, NowCountsFramesSinceTheCycleUpToItsEnd) {
    EXPECT_EQ(Clock::FramesSince(kCycle, kCycle.mUsecs + 10667), 512);
    EXPECT_EQ(Clock::UsecsSince(kCycle, kCycle.mPosition + 512), 10667);
    EXPECT_EQ(Clock::UsecsSince(kCycle, kCycle.mPosition - 256), -5333);
    EXPECT_EQ(Clock::NowAt(kCycle, kCycle.mUsecs + 2667), kCycle.mPosition + 128);
    // A stalled server: now stays at the end of the last cycle.
    EXPECT_EQ(Clock::NowAt(kCycle, kCycle.mUsecs + 5000000), kCycle.mPosition + 256);
    EXPECT_EQ(Clock::NowAt(kCycle, kCycle.mUsecs - 100), kCycle.mPosition);
    // Two periods, but never less than a quantum switch may need at once.
    EXPECT_EQ(Clock::HandOverLimit(kCycle), kCycle.mPosition + 4096);
    Clock::Cycle longest = kCycle;
    longest.mPeriodFrames = 4096;
    EXPECT_EQ(Clock::HandOverLimit(longest), kCycle.mPosition + 8192);
}

TEST(MIDICLJackClockTest, WakeTimesAreOnOurClockWhateverJacksReads) {
    // JACK's clock read between ours at 1 hour and 1 hour + 2 us.
    const std::uint64_t ourHour = 3600000000000ull;
    EXPECT_EQ(Clock::ClockOffsetNS(ourHour, kCycle.mUsecs + 1, ourHour + 2000), kOffsetNS);
    // The cycle's own frame is due at our hour; a message is placed a
    // latency after its time and handed over a lead before that, even when
    // that is past.
    const std::uint64_t cycleTime = kCycle.mPosition;
    EXPECT_EQ(Clock::WakeTimeNS(kCycle, cycleTime + 3840, kOffsetNS), ourHour);
    EXPECT_EQ(Clock::WakeTimeNS(kCycle, cycleTime + 3840 + 48000, kOffsetNS), ourHour + 1000000000);
    EXPECT_EQ(Clock::WakeTimeNS(kCycle, cycleTime + 3840 - 48000, kOffsetNS), ourHour - 1000000000);
    // The quantum grew to 4096 since the latency was set at 256.
    Clock::Cycle grown = kCycle;
    grown.mPeriodFrames = 4096;
    grown.mPeriodUsecs = 85333.333f;
    EXPECT_EQ(Clock::WakeTimeNS(grown, cycleTime + 7936, kOffsetNS), ourHour);
}

}  // namespace

#endif
