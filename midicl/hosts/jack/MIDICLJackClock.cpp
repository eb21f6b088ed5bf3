#include "hosts/jack/MIDICLJackClock.h"

#include <cmath>

#include "MIDICLMonotonicClock.h"

MIDICLJackClock::MIDICLJackClock(jack_client_t* inClient) : mClient(inClient) {}

void MIDICLJackClock::PublishCycle() {
    float periodUsecs = 0;
    jack_nframes_t frames = 0;
    jack_time_t usecs = 0;
    jack_time_t nextUsecs = 0;
    if (jack_get_cycle_times(mClient, &frames, &usecs, &nextUsecs, &periodUsecs) != 0) {
        return;
    }
    // Sequentially consistent throughout: a reader that sees the same even
    // count before and after its reads cannot have seen a half-written
    // cycle, and no fence is needed (which the thread sanitizer cannot see).
    const std::uint32_t sequence = mSequence.load();
    mSequence.store(sequence + 1);
    mFrames.store(frames);
    mUsecs.store(usecs);
    mPeriodUsecs.store(periodUsecs);
    mPeriodFrames.store(jack_get_buffer_size(mClient));
    mSequence.store(sequence + 2);
}

// False before the first cycle has been published.
bool MIDICLJackClock::ReadCycle(Cycle& outCycle) const {
    for (;;) {
        const std::uint32_t before = mSequence.load();
        outCycle.mFrames = mFrames.load();
        outCycle.mUsecs = mUsecs.load();
        outCycle.mPeriodUsecs = mPeriodUsecs.load();
        outCycle.mPeriodFrames = mPeriodFrames.load();
        if ((before & 1) == 0 && mSequence.load() == before) {
            return outCycle.mPeriodFrames != 0 && outCycle.mPeriodUsecs > 0;
        }
    }
}

std::int64_t MIDICLJackClock::FramesSince(const Cycle& inCycle, jack_time_t inUsecs) {
    const auto usecs = static_cast<std::int64_t>(inUsecs - inCycle.mUsecs);
    return std::llround(double(usecs) * inCycle.mPeriodFrames / inCycle.mPeriodUsecs);
}

std::int64_t MIDICLJackClock::UsecsSince(const Cycle& inCycle, jack_nframes_t inFrame) {
    const auto frames = static_cast<std::int32_t>(inFrame - inCycle.mFrames);
    return std::llround(double(frames) * inCycle.mPeriodUsecs / inCycle.mPeriodFrames);
}

std::uint64_t MIDICLJackClock::ExtendFrom(std::uint64_t inNear, jack_nframes_t inFrame) {
    const auto step = static_cast<std::int32_t>(inFrame - static_cast<jack_nframes_t>(inNear));
    return inNear + static_cast<std::uint64_t>(static_cast<std::int64_t>(step));
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

std::uint64_t MIDICLJackClock::Extend(jack_nframes_t inFrame) {
    std::uint64_t last = mLastTime.load();
    const std::uint64_t time = ExtendFrom(last, inFrame);
    // Only forward, so that the reference stays recent for every caller.
    while (time > last && !mLastTime.compare_exchange_weak(last, time)) {
    }
    return time;
}

std::uint64_t MIDICLJackClock::Now() {
    Cycle cycle;
    if (!ReadCycle(cycle)) {
        return Extend(jack_frame_time(mClient));
    }
    const std::int64_t frames = FramesSince(cycle, jack_get_time());
    return Extend(cycle.mFrames + static_cast<jack_nframes_t>(frames));
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

std::uint64_t MIDICLJackClock::WakeTimeNS(const Cycle& inCycle, std::uint64_t inTime,
                                          std::int64_t inClockOffsetNS) {
    const auto frame = static_cast<jack_nframes_t>(inTime - inCycle.mPeriodFrames);
    const std::int64_t jackNS =
        static_cast<std::int64_t>(inCycle.mUsecs) * 1000 + UsecsSince(inCycle, frame) * 1000;
    return static_cast<std::uint64_t>(jackNS - inClockOffsetNS);
}
