#include "playback/KRVTimerThread.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <system_error>

#include "MIDICLClock.h"
#include "MIDICLMonotonicClock.h"

namespace {

constexpr std::uint64_t kNSPerSecond = 1000000000;
// Behind by more than this many periods counts as a stall.
constexpr std::uint64_t kStallPeriods = 8;
// Above normal threads, below the audio server's own (JACK uses 70 or more).
constexpr int kRealtimePriority = 40;
// How often a clock that takes nothing yet is asked again. Mostly the wait
// is for a cycle a little late, and a server that has fallen behind runs its
// cycles back to back: asking often keeps the hand-over ahead of them.
constexpr std::uint64_t kHandOverPollNS = 200000;

}  // namespace

int KRVTimerThread::Start(Tick inTick, Period inPeriod, MIDICLClock& inClock,
                          std::uint64_t inStartDelay) {
    Stop();
    mTick = std::move(inTick);
    mPeriod = std::move(inPeriod);
    mClock = &inClock;
    mStartDelay = inStartDelay;
    mStopping = false;
    mPeriodChanged = false;
    try {
        mThread = std::thread(&KRVTimerThread::Run, this);
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

void KRVTimerThread::Stop() {
    if (!mThread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mWakeMutex);
        mStopping = true;
    }
    mWake.notify_all();
    mThread.join();
}

void KRVTimerThread::ChangePeriod() {
    if (!mThread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mWakeMutex);
        mPeriodChanged = true;
    }
    mWake.notify_all();
}

// Real-time scheduling keeps the clock steady under load; where it is
// refused we go on at normal priority.
void KRVTimerThread::RaisePriority() {
    sched_param param{};
    param.sched_priority = std::min(kRealtimePriority, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

// Signals are the command thread's to act on: a signal taken here would
// leave that thread blocked in its read, unaware.
void KRVTimerThread::BlockSignals() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

void KRVTimerThread::PrepareClockThread() {
    RaisePriority();
    BlockSignals();
}

// A stop wakes the sleep at once, so that stopping costs no waiting.
KRVTimerThread::KRVWake KRVTimerThread::SleepUntil(std::uint64_t inDeadlineNS, bool inForPeriod) {
    // steady_clock is CLOCK_MONOTONIC.
    const std::chrono::steady_clock::time_point deadline{std::chrono::nanoseconds(inDeadlineNS)};
    std::unique_lock<std::mutex> lock(mWakeMutex);
    mWake.wait_until(lock, deadline,
                     [this, inForPeriod] { return mStopping || (inForPeriod && mPeriodChanged); });
    if (mStopping) {
        return KRVWake::kStopping;
    }
    if (inForPeriod && mPeriodChanged) {
        mPeriodChanged = false;
        return KRVWake::kPeriodChanged;
    }
    return KRVWake::kDue;
}

bool KRVTimerThread::WaitForHandOver(std::uint64_t inDue) {
    while (mClock->GetHandOverLimit() < inDue) {
        const std::uint64_t next = MIDICLMonotonicClock::NowNS() + kHandOverPollNS;
        if (SleepUntil(next, false) == KRVWake::kStopping) {
            return false;
        }
    }
    return true;
}

// Positions on the grid are kept as a fraction of clock units from the
// start, so that a tick period that is no whole number of frames neither
// drifts nor jitters by more than the rounding of each single tick.
void KRVTimerThread::Run() {
    PrepareClockThread();
    const double unitsPerNS = mClock->GetUnitsPerSecond() / double(kNSPerSecond);
    // Nothing can be placed before the clock has a time to place it against.
    if (!WaitForHandOver(1)) {
        return;
    }
    std::uint64_t start = mClock->GetEarliestStart() + mStartDelay;
    double position = 0.0;
    double lastPosition = -1.0;
    for (;;) {
        const std::uint64_t due = start + static_cast<std::uint64_t>(std::llround(position));
        const KRVWake wake = SleepUntil(mClock->ToMonotonicNS(due), true);
        if (wake == KRVWake::kStopping) {
            return;
        }
        if (wake == KRVWake::kPeriodChanged) {
            if (lastPosition >= 0.0) {
                position = lastPosition + double(mPeriod()) * unitsPerNS;
            }
            continue;
        }
        if (!WaitForHandOver(due)) {
            return;
        }
        mTick(due);
        const double period = double(mPeriod()) * unitsPerNS;
        lastPosition = position;
        position += period;
        const double behind = double(std::int64_t(mClock->Now() - start)) - position;
        if (behind > kStallPeriods * period) {
            start = mClock->GetEarliestStart() + mStartDelay;
            position = 0.0;
            lastPosition = -1.0;
        }
    }
}
