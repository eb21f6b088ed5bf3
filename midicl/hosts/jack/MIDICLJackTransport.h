#pragma once

#include <jack/jack.h>
#include <jack/transport.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "MIDICLTransport.h"

// The JACK transport of one client. The process callback reads it once a
// cycle (jack_transport_query does not block) and publishes the reading
// under a sequence count; any thread reads the last one without a lock.
// As timebase master (until it lets go, or the client closes) it says
// where the bars and beats are at the tempo it was given last, along a
// line through frame 0 that bends where the tempo changes and starts again
// from frame 0 at each move of the transport.
class MIDICLJackTransport : public MIDICLTransport {
public:
    // Ticks a beat, for those who follow: fine enough that a tick is
    // shorter than a millisecond below 30 bpm.
    static constexpr double kTicksPerBeat = 1920;

    // inClosed is the host's: once it is set, the client is gone and
    // nothing here asks libjack about it.
    MIDICLJackTransport(jack_client_t* inClient, const std::atomic<bool>& inClosed,
                        bool inBeatsLag = false)
        : mClient(inClient), mClosed(inClosed), mBeatsLag(inBeatsLag) {}

    // For the process callback, once a cycle; nothing while unwatched.
    void Publish(std::uint64_t inCycleStart, jack_nframes_t inFrames);

    void Watch(bool inWatch) override;
    bool Read(Position& outPosition) const override;
    void Start() override;
    void Stop() override;
    void Locate(std::uint64_t inFrame) override;
    bool Lead(bool inLead) override;
    void SetLeadBPM(double inBPM) override { mLeadBPM.store(inBPM); }

    // The pure arithmetic, apart for testing: bars and beats of a frame,
    // from the beats counted at an earlier one and the tempo since.
    static void FillBeats(double inBeats, double inBPM, jack_position_t& ioPosition);
    // The bars and beats inFrames further on.
    static void CarryBeats(double inFrames, Position& ioPosition);

private:
    static void TimebaseCallback(jack_transport_state_t inState, jack_nframes_t inFrames,
                                 jack_position_t* ioPosition, int inNewPosition, void* inArg);
    void Describe(jack_position_t& ioPosition, bool inMoved);
    // Whether the timebase callback ran since the count stood at inBefore,
    // waited for (a few cycles) on the calling thread.
    bool CalledSince(std::uint32_t inBefore) const;

    jack_client_t* const mClient;
    const std::atomic<bool>& mClosed;
    // PipeWire's JACK hands the master the cycle's own frame, and what it
    // says reaches the others a cycle later, beside the next frame: its
    // bars and beats are those of the frame read a cycle before, carried
    // here to the frame they come with, when it moved (a master that said
    // nothing then, as when the transport starts, stood still there).
    // Process thread only.
    const bool mBeatsLag;
    double mDescribedFrame = 0;
    std::uint64_t mDescribedCycleEnd = 0;
    bool mDescribedValid = false;
    // The published reading, word by word, under an odd-while-writing count.
    static constexpr std::size_t kWords = (sizeof(Position) + 7) / 8;
    std::atomic<std::uint32_t> mSequence{0};
    std::atomic<int> mWatchers{0};
    // The count a reading taken since watching began has reached.
    std::atomic<std::uint32_t> mWatchedFrom{2};
    std::array<std::atomic<std::uint64_t>, kWords> mWords{};
    // Whether leading, the tempo, and the timebase callback's own line.
    bool mLeading = false;
    std::atomic<std::uint32_t> mCalled{0};
    std::atomic<double> mLeadBPM{120};
    double mAnchorFrame = 0;
    double mAnchorBeats = 0;
    double mAnchorBPM = 0;
};
