#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// The playback clock's thread. It sleeps to absolute deadlines on the
// monotonic clock and calls the tick with each deadline. The next deadline is
// the last one plus the period current at that moment, so ticks do not drift
// whatever a tick costs, and a tempo change applies from the next interval.
//
// After a stall far longer than a period (a suspended machine) it resumes
// from now instead of firing a burst of catch-up ticks.
class KRVTimerThread {
public:
    // Called with the tick's due time in nanoseconds on the monotonic clock.
    using Tick = std::function<void(std::uint64_t inDueTimeNS)>;
    // Read before each sleep: the period in nanoseconds.
    using Period = std::function<std::uint64_t()>;

    KRVTimerThread() = default;
    ~KRVTimerThread() { Stop(); }
    KRVTimerThread(const KRVTimerThread&) = delete;
    KRVTimerThread& operator=(const KRVTimerThread&) = delete;

    // Starts the thread; the first tick is due one period from now. Returns 0,
    // or the error number of a thread that could not be started.
    int Start(Tick inTick, Period inPeriod);
    // Once this returns no tick runs. Does nothing when not running.
    void Stop();
    bool IsRunning() const { return mThread.joinable(); }

    static std::uint64_t NowNS();

private:
    void Run();
    void RaisePriority();
    // Sleeps until inDeadlineNS or until asked to stop; false when stopping.
    bool SleepUntil(std::uint64_t inDeadlineNS);

    Tick mTick;
    Period mPeriod;
    std::atomic<bool> mStopping{false};
    std::thread mThread;
};
