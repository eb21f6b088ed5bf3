#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "MIDICLTypes.h"
#include "input/KRVInputQueue.h"
#include "input/KRVMIDIInput.h"

class KRVSequencer;
class MIDICLClock;

// The tempo of a clock heard, from the times its timing clocks arrived at,
// and how long a silence counts as the clock having stopped.
class KRVClockTempo {
public:
    // A timing clock at inTime, on a clock of inUnitsPerSecond.
    void Hear(std::uint64_t inTime, double inUnitsPerSecond);
    // The clock stopped: the wait until the next one is no period.
    void Forget() { mLast = 0; }
    // Quarter notes a minute; 0 before two clocks came close enough.
    double GetBPM() const;
    // Four periods, and at most half a second (also while none is known).
    std::uint64_t GetGapNS() const;

private:
    // Seconds between two clocks, smoothed; 0 while unknown.
    double mPeriod = 0;
    std::uint64_t mLast = 0;
};

// The thread that plays the sequencer along the MIDI clock of a source: each
// timing clock is one tick, handed over at the time it arrived at (the host
// places it a cycle later on JACK, as every message). Start plays from the
// top, Stop ends the run (every sounding note ended), Continue goes on where
// Song Position put it or the run stopped; a clock that falls silent for
// longer than KRVClockTempo's gap ends the run too, and the next clock
// starts it again where it was. The source is read on the host's thread,
// which queues what a clock follows for this one (KRVMIDIInput). Like the
// timer thread it allocates, prints and throws nothing while it runs.
class KRVClockFollower {
public:
    KRVClockFollower(KRVSequencer& ioSequencer, MIDICLClock& inClock);
    ~KRVClockFollower();
    KRVClockFollower(const KRVClockFollower&) = delete;
    KRVClockFollower& operator=(const KRVClockFollower&) = delete;

    // Listens to inSource on a port inMakePort makes (which may throw) and
    // starts the thread: 0, or the error number of a thread that could not
    // start.
    int Start(const KRVMIDIInput::PortMaker& inMakePort, MIDICLEndpointRef inSource);
    // Listens from now on to inSource on a new port (which may throw), the
    // thread going on: a source plugged in again is a clock that was silent.
    void Listen(const KRVMIDIInput::PortMaker& inMakePort, MIDICLEndpointRef inSource);
    MIDICLEndpointRef GetSource() const { return mSource; }
    // Whether the port's connection to its source, once seen to hold (from
    // Listen on), holds no more: a source gone, or back under its handle.
    bool HasLostSource();
    // The clock's tempo as last measured; 0 when none.
    double GetBPM() const { return mBPM.load(std::memory_order_relaxed); }

private:
    void Run();
    // Sleeps until a message waits, inTimeoutMS pass (-1: no bound) or the
    // thread is asked to stop; false then.
    bool Wait(int inTimeoutMS) const;
    int GetTimeoutMS() const;
    void Obey(const KRVInputMessage& inMessage);
    void Tick(std::uint64_t inTime);
    // Ends the run that plays, if one does.
    void Halt();

    KRVSequencer& mSequencer;
    MIDICLClock& mClock;
    // Before the input, which pushes into it while open.
    KRVInputQueue mQueue;
    KRVMIDIInput mInput;
    MIDICLEndpointRef mSource;
    bool mSourceHeard = false;
    int mStopFd;
    KRVClockTempo mTempo;
    std::atomic<double> mBPM{0};
    // The thread's own: between Start (or Continue) and Stop; while a run
    // plays; the tick the next clock plays, counted from the top.
    bool mStarted = false;
    bool mRolling = false;
    std::int64_t mNext = 0;
    std::uint64_t mLastHeardNS = 0;
    std::thread mThread;
};
