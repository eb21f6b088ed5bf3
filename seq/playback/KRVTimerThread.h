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
// tick costs. The thread sleeps on CLOCK_MONOTONIC until the clock says a
// tick must be handed over, and calls the tick with its due time on that
// clock.
//
// A tick is never handed over past the clock's hand-over limit: before a
// server's first cycle the thread waits for it, and the grid starts there;
// while the server is late or stalled the thread waits for it and goes on
// where it was, rather than running ahead of it. A tempo change wakes the
// thread, so that the next tick comes one new period after the last.
//
// After a stall of the thread itself far longer than a period (a suspended
// machine) it resumes from now instead of firing a burst of catch-up ticks.
class KRVTimerThread {
public:
    // Called with the tick's due time on the clock given to Start.
    using Tick = std::function<void(std::uint64_t inDueTime)>;
    // Read after each tick and on ChangePeriod: the period in nanoseconds.
    using Period = std::function<std::uint64_t()>;

    KRVTimerThread() = default;
    ~KRVTimerThread() { Stop(); }
    KRVTimerThread(const KRVTimerThread&) = delete;
    KRVTimerThread& operator=(const KRVTimerThread&) = delete;

    // Starts the thread; the first tick is due as soon as the clock takes
    // one, and inStartDelay (in the clock's units) later, so that a player
    // may stamp messages that much before their tick. inClock must outlive
    // the run. Returns 0, or the error number of a thread that could not
    // start.
    int Start(Tick inTick, Period inPeriod, MIDICLClock& inClock, std::uint64_t inStartDelay = 0);
    // Once this returns no tick runs. Does nothing when not running.
    void Stop();
    // The period changed: the next tick is due one new period after the
    // last one rather than one old period. Does nothing when not running.
    void ChangePeriod();
    bool IsRunning() const { return mThread.joinable(); }
    // What every thread that plays the sequencer does first: real-time
    // scheduling where allowed, and no signals (the command thread's).
    static void PrepareClockThread();

private:
    enum class KRVWake { kDue, kPeriodChanged, kStopping };

    void Run();
    static void RaisePriority();
    static void BlockSignals();
    // Sleeps until inDeadlineNS, or until asked to stop or (with
    // inForPeriod) told of a new period.
    KRVWake SleepUntil(std::uint64_t inDeadlineNS, bool inForPeriod);
    // Waits until the clock takes a message due at inDue; false when
    // stopping.
    bool WaitForHandOver(std::uint64_t inDue);

    Tick mTick;
    Period mPeriod;
    MIDICLClock* mClock = nullptr;
    std::uint64_t mStartDelay = 0;
    std::mutex mWakeMutex;
    std::condition_variable mWake;
    bool mStopping = false;
    bool mPeriodChanged = false;
    std::thread mThread;
};
