#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "MIDICLTransport.h"

class KRVSequencer;
class MIDICLClock;

// Where the sequencer's ticks lie on a shared transport: a line of ticks
// (24 a quarter note, counted from bar 1 beat 1) over the transport's
// frames, anchored where a run starts or the transport moves, and bent where
// the tempo changes. With a timebase master the line takes its bars, beats
// and tempo; without one it counts from frame 0 at the sequencer's own
// tempo.
class KRVTransportLock {
public:
    // Takes in one cycle's reading; true when the run must start anew from
    // the tick there (inRunning false, or the transport moved: what was
    // handed over for the old place no longer holds).
    bool Follow(const MIDICLTransport::Position& inPosition, double inOwnBPM, bool inRunning);
    double TickAt(double inFrame) const { return mTick + (inFrame - mFrame) * mTicksPerFrame; }
    // The first tick at or after the transport's frame at the anchor.
    std::int64_t GetFirstTick() const;
    // When tick inTick is due on the host's clock.
    std::uint64_t GetDueTime(std::int64_t inTick) const;
    // The master's tempo in quarter notes a minute; 0 without a master.
    double GetMasterBPM() const { return mMasterBPM; }

private:
    void Anchor(double inFrame, double inTick, double inTicksPerFrame);

    double mFrame = 0;
    double mTick = 0;
    double mTicksPerFrame = 0;
    // The transport's frame minus the clock's time: the same for as long as
    // the transport rolls on unmoved.
    std::int64_t mOffset = 0;
    double mMasterBPM = 0;
};

// The thread that plays the sequencer along a transport: it starts a run
// as the transport starts rolling, ends it (every sounding note ended) as it
// stops, starts again where it moves to, and hands each tick over at the
// time the lock says, once the clock takes it. Leading, the transport's
// bars and beats are the sequencer's (its tempo, 4/4), and followed the
// same way. Like the timer thread it allocates, prints and throws nothing
// while it runs.
class KRVTransportFollower {
public:
    KRVTransportFollower(KRVSequencer& ioSequencer, std::shared_ptr<MIDICLTransport> inTransport,
                         MIDICLClock& inClock);
    ~KRVTransportFollower();
    KRVTransportFollower(const KRVTransportFollower&) = delete;
    KRVTransportFollower& operator=(const KRVTransportFollower&) = delete;

    // Returns 0 or the error number of a thread that could not start.
    int Start();
    // False when another client is the timebase master.
    bool Lead();
    MIDICLTransport& GetTransport() { return *mTransport; }
    // The master's tempo while rolling, 0 when none.
    double GetMasterBPM() const { return mMasterBPM.load(std::memory_order_relaxed); }

private:
    void Run();
    // One pass: false when stopping.
    bool Step(bool& ioRunning, std::int64_t& ioNext);
    // False when stopping.
    bool SleepUntil(std::uint64_t inDeadlineNS);

    KRVSequencer& mSequencer;
    std::shared_ptr<MIDICLTransport> mTransport;
    MIDICLClock& mClock;
    bool mLeading = false;
    KRVTransportLock mLock;
    std::atomic<double> mMasterBPM{0};
    std::mutex mWakeMutex;
    std::condition_variable mWake;
    bool mStopping = false;
    std::thread mThread;
};
