#include "hosts/jack/MIDICLJackClock.h"

#include <algorithm>
#include <cmath>

#include "MIDICLMonotonicClock.h"

MIDICLJackClock::MIDICLJackClock(jack_client_t* inClient) : mClient(inClient) {}

std::uint64_t MIDICLJackClock::PublishCycle(jack_nframes_t inFrames) {
    float periodUsecs = 0;
    jack_nframes_t serverFrame = 0;
    jack_time_t usecs = 0;
    jack_time_t nextUsecs = 0;
    if (jack_get_cycle_times(mClient, &serverFrame, &usecs, &nextUsecs, &periodUsecs) != 0 ||
        inFrames == 0 || periodUsecs <= 0) {
        // No time to count by: the cycle follows on from the last one.
        mLast.mPosition = mLast.mPosition == 0 ? 0 : mLast.mPosition + mLast.mPeriodFrames;
        mLastRegular = false;
        return mLast.mPosition;
    }
    mLastRegular = IsRegular(mLast, mLastServerFrame, serverFrame, inFrames, usecs);
    mLast.mPosition = NextPosition(mLast, mLastServerFrame, serverFrame, inFrames);
    mLast.mUsecs = usecs;
    mLast.mPeriodUsecs = periodUsecs;
    if (mLatencyFrames.load() == 0) {
        mLatencyFrames.store(inFrames);
    }
    mLast.mPeriodFrames = inFrames;
    mLastServerFrame = serverFrame;
    // Sequentially consistent throughout: a reader that sees the same even
    // count before and after its reads cannot have seen a half-written
    // cycle, and no fence is needed (which the thread sanitizer cannot see).
    const std::uint32_t sequence = mSequence.load();
    mSequence.store(sequence + 1);
    mPosition.store(mLast.mPosition);
    mUsecs.store(usecs);
    mPeriodUsecs.store(periodUsecs);
    mPeriodFrames.store(inFrames);
    mSequence.store(sequence + 2);
    return mLast.mPosition;
}

// The server's frame time is followed step by step, as every other client
// follows it, except where the cycle's length changes: there both servers'
// frame times jump, PipeWire's by the new length on top of the step (also
// when this client missed a cycle there), JACK's own to a step of the new
// length in place of the last one. Either jump is taken out, so the cycle
// starts where the last one ended, as a sequencer that counts its cycles'
// frames sees it.
std::int64_t MIDICLJackClock::Step(const Cycle& inLast, jack_nframes_t inLastServerFrame,
                                   jack_nframes_t inServerFrame, jack_nframes_t inFrames) {
    std::int64_t step = static_cast<std::int32_t>(inServerFrame - inLastServerFrame);
    if (inFrames == inLast.mPeriodFrames) {
        return step;
    }
    if (step >= std::int64_t(inLast.mPeriodFrames) + std::int64_t(inFrames)) {
        return step - inFrames;
    }
    return step == std::int64_t(inFrames) ? std::int64_t(inLast.mPeriodFrames) : step;
}

std::uint64_t MIDICLJackClock::NextPosition(const Cycle& inLast, jack_nframes_t inLastServerFrame,
                                            jack_nframes_t inServerFrame, jack_nframes_t inFrames) {
    if (inLast.mPosition == 0) {
        return kEpoch + inServerFrame;
    }
    return inLast.mPosition +
           static_cast<std::uint64_t>(Step(inLast, inLastServerFrame, inServerFrame, inFrames));
}

bool MIDICLJackClock::IsRegular(const Cycle& inLast, jack_nframes_t inLastServerFrame,
                                jack_nframes_t inServerFrame, jack_nframes_t inFrames,
                                jack_time_t inUsecs) {
    // Wake-ups of a driver without real-time scheduling come late by a
    // fraction of a period now and then; a stall lasts many.
    constexpr double kStallPeriods = 4;
    return inLast.mPosition != 0 &&
           Step(inLast, inLastServerFrame, inServerFrame, inFrames) == inLast.mPeriodFrames &&
           static_cast<double>(inUsecs - inLast.mUsecs) < kStallPeriods * inLast.mPeriodUsecs;
}

// False before the first cycle has been published.
bool MIDICLJackClock::ReadCycle(Cycle& outCycle) const {
    for (;;) {
        const std::uint32_t before = mSequence.load();
        outCycle.mPosition = mPosition.load();
        outCycle.mUsecs = mUsecs.load();
        outCycle.mPeriodUsecs = mPeriodUsecs.load();
        outCycle.mPeriodFrames = mPeriodFrames.load();
        outCycle.mLatencyFrames = mLatencyFrames.load();
        if ((before & 1) == 0 && mSequence.load() == before) {
            return outCycle.mPeriodFrames != 0 && outCycle.mPeriodUsecs > 0;
        }
    }
}

std::int64_t MIDICLJackClock::FramesSince(const Cycle& inCycle, jack_time_t inUsecs) {
    const auto usecs = static_cast<std::int64_t>(inUsecs - inCycle.mUsecs);
    return std::llround(double(usecs) * inCycle.mPeriodFrames / inCycle.mPeriodUsecs);
}

std::int64_t MIDICLJackClock::UsecsSince(const Cycle& inCycle, std::uint64_t inPosition) {
    const auto frames = static_cast<std::int64_t>(inPosition - inCycle.mPosition);
    return std::llround(double(frames) * inCycle.mPeriodUsecs / inCycle.mPeriodFrames);
}

std::uint64_t MIDICLJackClock::NowAt(const Cycle& inCycle, jack_time_t inUsecs) {
    const std::int64_t since =
        std::clamp<std::int64_t>(FramesSince(inCycle, inUsecs), 0, inCycle.mPeriodFrames);
    return inCycle.mPosition + static_cast<std::uint64_t>(since);
}

// Two periods, so that a late wake-up or a server that runs a few cycles
// back to back is caught up with; and never less than two of the largest
// quantum a desktop's PipeWire switches to by itself, since the first cycle
// after a switch to a longer quantum needs all of its messages when it
// starts: with two short periods' lead, those near its end came a cycle
// late.
std::uint64_t MIDICLJackClock::LeadFrames(const Cycle& inCycle) {
    return std::max<std::uint64_t>(kHorizonPeriods * inCycle.mPeriodFrames, kLeadFloorFrames);
}

std::uint64_t MIDICLJackClock::HandOverLimit(const Cycle& inCycle) {
    return inCycle.mPosition + LeadFrames(inCycle);
}

std::int64_t MIDICLJackClock::ClockOffsetNS(std::uint64_t inBeforeNS, jack_time_t inJackUsecs,
                                            std::uint64_t inAfterNS) {
    const std::uint64_t middleNS = inBeforeNS + (inAfterNS - inBeforeNS) / 2;
    return static_cast<std::int64_t>(inJackUsecs * 1000 - middleNS);
}

// The narrowest of a few brackets: a reading interrupted by the scheduler
// would be off by however long the interruption lasted.
std::int64_t MIDICLJackClock::MeasureClockOffsetNS() const {
    std::int64_t offset = 0;
    std::uint64_t narrowest = UINT64_MAX;
    for (int i = 0; i < 3; ++i) {
        const std::uint64_t before = MIDICLMonotonicClock::NowNS();
        const jack_time_t jackUsecs = jack_get_time();
        const std::uint64_t after = MIDICLMonotonicClock::NowNS();
        if (after - before < narrowest) {
            narrowest = after - before;
            offset = ClockOffsetNS(before, jackUsecs, after);
        }
    }
    return offset;
}

// Before the first cycle there is no position yet: the server's frame
// time, where the first cycle will start counting from, stands in.
std::uint64_t MIDICLJackClock::Now() {
    Cycle cycle;
    if (!ReadCycle(cycle)) {
        return kEpoch + jack_frame_time(mClient);
    }
    return NowAt(cycle, jack_get_time());
}

double MIDICLJackClock::GetUnitsPerSecond() {
    return jack_get_sample_rate(mClient);
}

std::uint64_t MIDICLJackClock::ToMonotonicNS(std::uint64_t inTime) {
    Cycle cycle;
    if (!ReadCycle(cycle)) {
        return MIDICLMonotonicClock::NowNS();
    }
    return WakeTimeNS(cycle, inTime, MeasureClockOffsetNS());
}

std::uint64_t MIDICLJackClock::GetEarliestStart() {
    Cycle cycle;
    if (!ReadCycle(cycle)) {
        return Now();
    }
    return EarliestStart(cycle, NowAt(cycle, jack_get_time()),
                         std::max<std::uint64_t>(1, jack_get_sample_rate(mClient) / 2000));
}

// A message stamped inNow plus the margin is handed over within the margin,
// so before the first cycle that starts after that; it is placed exactly
// when its place (the stamp plus the latency) lies in that cycle or later.
// With a latency of one period that holds for the stamp itself, and the
// note is heard a period and the margin after `play`; after a change to a
// longer period the stamp moves out to where its place makes that cycle.
std::uint64_t MIDICLJackClock::EarliestStart(const Cycle& inCycle, std::uint64_t inNow,
                                             std::uint64_t inMarginFrames) {
    const std::uint64_t earliest = inNow + inMarginFrames;
    std::uint64_t next = inCycle.mPosition + inCycle.mPeriodFrames;
    while (next <= earliest) {
        next += inCycle.mPeriodFrames;
    }
    return std::max(earliest, next - std::min<std::uint64_t>(next, inCycle.mLatencyFrames));
}

std::uint64_t MIDICLJackClock::GetHandOverLimit() {
    Cycle cycle;
    return ReadCycle(cycle) ? HandOverLimit(cycle) : 0;
}

std::uint64_t MIDICLJackClock::WakeTimeNS(const Cycle& inCycle, std::uint64_t inTime,
                                          std::int64_t inClockOffsetNS) {
    const std::uint64_t position = inTime + inCycle.mLatencyFrames - LeadFrames(inCycle);
    const std::int64_t jackNS =
        static_cast<std::int64_t>(inCycle.mUsecs) * 1000 + UsecsSince(inCycle, position) * 1000;
    return static_cast<std::uint64_t>(jackNS - inClockOffsetNS);
}
