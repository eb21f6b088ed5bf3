#include "KRVTimerThread.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace {

constexpr std::uint64_t kNSPerSecond = 1000000000;
// Longest single sleep, so that a stop is noticed soon even at slow tempos.
constexpr std::uint64_t kMaxSleepNS = 20 * 1000000;
// Behind by more than this many periods counts as a stall.
constexpr std::uint64_t kStallPeriods = 8;
// Above normal threads, below the audio server's own (JACK uses 70 or more).
constexpr int kRealtimePriority = 40;

timespec ToTimespec(std::uint64_t inNS) {
    timespec time;
    time.tv_sec = static_cast<time_t>(inNS / kNSPerSecond);
    time.tv_nsec = static_cast<long>(inNS % kNSPerSecond);
    return time;
}

}  // namespace

std::uint64_t KRVTimerThread::NowNS() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * kNSPerSecond +
           static_cast<std::uint64_t>(now.tv_nsec);
}

int KRVTimerThread::Start(Tick inTick, Period inPeriod) {
    Stop();
    mTick = std::move(inTick);
    mPeriod = std::move(inPeriod);
    mStopping = false;
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
    mStopping = true;
    mThread.join();
}

// Real-time scheduling keeps the clock steady under load; where it is
// refused we go on at normal priority.
void KRVTimerThread::RaisePriority() {
    sched_param param{};
    param.sched_priority = std::min(kRealtimePriority, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

bool KRVTimerThread::SleepUntil(std::uint64_t inDeadlineNS) {
    for (;;) {
        if (mStopping) {
            return false;
        }
        std::uint64_t now = NowNS();
        if (now >= inDeadlineNS) {
            return true;
        }
        timespec until = ToTimespec(std::min(inDeadlineNS, now + kMaxSleepNS));
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    }
}

void KRVTimerThread::Run() {
    RaisePriority();
    std::uint64_t periodNS = mPeriod();
    std::uint64_t deadline = NowNS() + periodNS;
    while (SleepUntil(deadline)) {
        mTick(deadline);
        periodNS = mPeriod();
        deadline += periodNS;
        std::uint64_t now = NowNS();
        if (now > deadline + kStallPeriods * periodNS) {
            deadline = now + periodNS;
        }
    }
}
