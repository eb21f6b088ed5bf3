#pragma once

#include <cstdint>

// A timeline a host's clients share: any of them starts, stops and moves
// it, and at most one, the timebase master, says where on it the bars and
// beats are. Only JACK has one.
class MIDICLTransport {
public:
    // One process cycle's view of the transport.
    struct Position {
        bool mRolling = false;
        // Where the cycle starts on the host's clock, and the transport's
        // frame there; while rolling the frame moves on with the clock.
        std::uint64_t mCycleStart = 0;
        std::uint64_t mFrame = 0;
        double mFrameRate = 0;
        // What the timebase master says of the same frame; nothing when
        // there is no master.
        bool mHasBeats = false;
        std::int32_t mBar = 1;
        std::int32_t mBeat = 1;
        std::int32_t mTick = 0;
        double mTicksPerBeat = 0;
        float mBeatsPerBar = 4;
        float mBeatType = 4;
        double mBPM = 0;
    };

    virtual ~MIDICLTransport() = default;

    // Readings are taken only while someone watches: a host whose
    // transport nobody follows pays nothing for it.
    virtual void Watch(bool inWatch) = 0;
    // The last cycle's reading, false before the first since watching
    // began: lock-free, for any thread, real-time ones included.
    virtual bool Read(Position& outPosition) const = 0;
    // For the command thread; they take effect from a coming cycle.
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual void Locate(std::uint64_t inFrame) = 0;
    // Becomes the timebase master (bars of four quarter notes), or lets go
    // of it; false when another client is master already.
    virtual bool Lead(bool inLead) = 0;
    // The tempo a master says, in quarter notes a minute: for any thread,
    // lock-free, so that a player's own thread can keep it current.
    virtual void SetLeadBPM(double inBPM) = 0;
};
