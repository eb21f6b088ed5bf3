#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class MIDICLClock;

// The playback clock's thread. Its grid of ticks lives on the clock of the
// MIDI output (JACK frames, or CLOCK_MONOTONIC nanoseconds): the first tick
// is due at once, and each next one the period current at that moment
// later, counted in that clock's units, so ticks do not drift whatever a
// tick costs, and a tempo change applies exactly from the next tick. The
// thread sleeps on CLOCK_MONOTONIC until the clock says a tick must be
// handed over, and calls the tick with its due time on that clock.
//
// After a stall far longer than a period (a suspended machine) it resumes
// from now instead of firing a burst of catch-up ticks.
class KRVTimerThread {
public:
    // Called with the tick's due time on the clock given to Start.
    using Tick = std::function<void(std::uint64_t inDueTime)>;
    // Read before each sleep: the period in nanoseconds.
    using Period = std::function<std::uint64_t()>;

    KRVTimerThread() = default;
    ~KRVTimerThread() { Stop(); }
    KRVTimerThread(const KRVTimerThread&) = delete;
    KRVTimerThread& operator=(const KRVTimerThread&) = delete;

    // Starts the thread; the first tick is due now. inClock must outlive the
    // run. Returns 0, or the error number of a thread that could not start.
    int Start(Tick inTick, Period inPeriod, MIDICLClock& inClock);
    // Once this returns no tick runs. Does nothing when not running.
    void Stop();
    bool IsRunning() const { return mThread.joinable(); }

private:
    void Run();
    void RaisePriority();
    static void BlockSignals();
    // Sleeps until inDeadlineNS or until asked to stop; false when stopping.
    bool SleepUntil(std::uint64_t inDeadlineNS);

    Tick mTick;
    Period mPeriod;
    MIDICLClock* mClock = nullptr;
    std::mutex mStopMutex;
    std::condition_variable mStopWake;
    bool mStopping = false;
    std::thread mThread;
};
