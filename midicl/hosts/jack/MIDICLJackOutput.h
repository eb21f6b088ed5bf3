#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <memory>

#include "hosts/MIDICLHostOutput.h"

class MIDICLJackHost;

// A MIDI output port of our JACK client. Senders queue each message with its
// time stamp in a lock-free ring buffer; the process callback drains it in
// order, placing each message at the frame its stamp maps to one period later
// and keeping messages due in a later cycle for that cycle. One thread at a
// time may send on a port: the ring buffer has a single writer.
class MIDICLJackOutput : public MIDICLHostOutput {
public:
    static constexpr std::size_t kQueueBytes = 64 * 1024;

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
    bool FrameFor(MIDICLTimeStamp inTimeStamp, jack_nframes_t inFrames, jack_nframes_t inCycleStart,
                  jack_nframes_t& ioFrame) const;

    std::shared_ptr<MIDICLJackHost> mHost;
    jack_port_t* const mPort;
    jack_ringbuffer_t* const mQueue;
};
