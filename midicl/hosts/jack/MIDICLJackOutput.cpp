#include "hosts/jack/MIDICLJackOutput.h"

#include <jack/midiport.h>

#include <cerrno>

#include "hosts/MIDICLMessage.h"
#include "hosts/jack/MIDICLJackHost.h"

MIDICLJackOutput::MIDICLJackOutput(const std::shared_ptr<MIDICLJackHost>& inHost,
                                   jack_port_t* inPort, jack_ringbuffer_t* inQueue)
    : mHost(inHost), mPort(inPort), mQueue(inQueue) {}

// Out of the table first, so that the process callback has let go of the
// queue before it is freed.
MIDICLJackOutput::~MIDICLJackOutput() {
    mHost->GetOutputs().Remove(this);
    jack_port_unregister(mHost->GetClient(), mPort);
    jack_ringbuffer_free(mQueue);
}

void MIDICLJackOutput::Connect(MIDICLEndpointRef inDestination) {
    jack_port_disconnect(mHost->GetClient(), mPort);
    if (inDestination.IsValid()) {
        jack_connect(mHost->GetClient(), jack_port_name(mPort),
                     jack_port_name(MIDICLJackHost::GetPort(inDestination)));
    }
}

// JACK carries one message per event, so packets are split here.
std::int32_t MIDICLJackOutput::Send(const MIDICLPacketList& inList) {
    for (std::size_t i = 0; i < inList.GetNumPackets(); ++i) {
        const MIDICLPacket packet = inList.GetPacket(i);
        for (std::size_t offset = 0; offset < packet.mLength;) {
            const std::size_t length =
                MIDICLMessage::Length(packet.mData + offset, packet.mLength - offset);
            if (length == 0) {
                return -EINVAL;
            }
            const std::int32_t status = Queue(packet.mTimeStamp, packet.mData + offset, length);
            if (status != 0) {
                return status;
            }
            offset += length;
        }
    }
    return 0;
}

// Once queued the bytes are ours, so the caller's buffer is done with at once.
std::int32_t MIDICLJackOutput::SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                                         MIDICLTimeStamp inTimeStamp, MIDICLSysExDoneProc inDone,
                                         void* inRefCon) {
    const std::int32_t status = Queue(inTimeStamp, inData, inLength);
    if (status == 0) {
        inDone(inRefCon);
    }
    return status;
}

// The header goes in before the bytes; the reader waits until both are there.
std::int32_t MIDICLJackOutput::Queue(MIDICLTimeStamp inTimeStamp, const std::uint8_t* inData,
                                     std::size_t inLength) {
    const MIDICLQueuedHeader header{inTimeStamp, static_cast<std::uint32_t>(inLength)};
    if (jack_ringbuffer_write_space(mQueue) < sizeof header + inLength) {
        return -ENOBUFS;
    }
    jack_ringbuffer_write(mQueue, reinterpret_cast<const char*>(&header), sizeof header);
    jack_ringbuffer_write(mQueue, reinterpret_cast<const char*>(inData), inLength);
    return 0;
}

// A stamp maps to its frame plus one period, which hides when in the period
// the sender woke. Frames only move forward within a cycle, as JACK requires;
// false means the message belongs to a later cycle.
bool MIDICLJackOutput::FrameFor(MIDICLTimeStamp inTimeStamp, jack_nframes_t inFrames,
                                jack_nframes_t inCycleStart, jack_nframes_t& ioFrame) const {
    if (inTimeStamp == 0) {
        return true;
    }
    const jack_nframes_t due = jack_time_to_frames(mHost->GetClient(), inTimeStamp / 1000);
    const std::int64_t offset =
        static_cast<std::int64_t>(static_cast<std::int32_t>(due - inCycleStart)) + inFrames;
    if (offset >= static_cast<std::int64_t>(inFrames)) {
        return false;
    }
    if (offset > static_cast<std::int64_t>(ioFrame)) {
        ioFrame = static_cast<jack_nframes_t>(offset);
    }
    return true;
}

void MIDICLJackOutput::Process(jack_nframes_t inFrames, jack_nframes_t inCycleStart) {
    void* buffer = jack_port_get_buffer(mPort, inFrames);
    jack_midi_clear_buffer(buffer);
    jack_nframes_t frame = 0;
    MIDICLQueuedHeader header;
    while (jack_ringbuffer_peek(mQueue, reinterpret_cast<char*>(&header), sizeof header) ==
           sizeof header) {
        if (jack_ringbuffer_read_space(mQueue) < sizeof header + header.mLength ||
            !FrameFor(header.mTimeStamp, inFrames, inCycleStart, frame)) {
            break;
        }
        jack_ringbuffer_read_advance(mQueue, sizeof header);
        jack_midi_data_t* event = jack_midi_event_reserve(buffer, frame, header.mLength);
        if (event != nullptr) {
            jack_ringbuffer_read(mQueue, reinterpret_cast<char*>(event), header.mLength);
        } else {
            // The cycle's buffer is full: the message is lost, as it would be
            // on a wire with too much to carry.
            jack_ringbuffer_read_advance(mQueue, header.mLength);
        }
    }
}
