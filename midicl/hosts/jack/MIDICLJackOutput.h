#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <memory>

#include "hosts/MIDICLHostOutput.h"

class MIDICLJackHost;

// A MIDI output port of our JACK client. Senders queue each message with its
// time stamp (a frame on the host's clock) in a lock-free ring buffer; the
// process callback drains it in order, placing each message one period after
// its frame, so that when in the period the sender woke does not matter, and
// keeping messages due in a later cycle, or that found the cycle's buffer
// full, for a later cycle. One thread at a time may send on a port: the ring
// buffer has a single writer.
//
// Room in the queue is kept for the note-off of every note-on it took, so
// when more is sent than the server carries away, note-ons are refused and a
// note-off never is. Destroying the port first lets the server carry away
// what is queued (within a bound, and not once the server is gone).
class MIDICLJackOutput : public MIDICLHostOutput {
public:
    static constexpr std::size_t kQueueBytes = 256 * 1024;

    // Takes ownership of the registered port and the ring buffer.
    MIDICLJackOutput(const std::shared_ptr<MIDICLJackHost>& inHost, jack_port_t* inPort,
                     jack_ringbuffer_t* inQueue);
    ~MIDICLJackOutput() override;

    void Connect(MIDICLEndpointRef inDestination) override;
    // -ENOBUFS when the queue is full, -EINVAL for bytes that are no MIDI.
    std::int32_t Send(const MIDICLPacketList& inList) override;
    std::int32_t SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                           MIDICLTimeStamp inTimeStamp, MIDICLSysExDoneProc inDone,
                           void* inRefCon) override;

    // For the process callback: fills this cycle's buffer.
    void Process(jack_nframes_t inFrames, jack_nframes_t inCycleStart);

private:
    struct MIDICLQueuedHeader {
        MIDICLTimeStamp mTimeStamp;
        std::uint32_t mLength;
    };

    std::int32_t Queue(MIDICLTimeStamp inTimeStamp, const std::uint8_t* inData,
                       std::size_t inLength);
    static bool FrameFor(MIDICLTimeStamp inTimeStamp, jack_nframes_t inFrames,
                         jack_nframes_t inCycleStart, jack_nframes_t& ioFrame);
    void Drain();

    std::shared_ptr<MIDICLJackHost> mHost;
    jack_port_t* const mPort;
    jack_ringbuffer_t* const mQueue;
    // Queue bytes kept for the note-offs of the note-ons queued; the
    // sending thread's alone.
    std::size_t mReservedBytes = 0;
    // Whether anything was ever queued, so that a port that sent nothing
    // closes at once. Written by the sending thread, read by the owner's.
    std::atomic<bool> mQueuedAny{false};
};
