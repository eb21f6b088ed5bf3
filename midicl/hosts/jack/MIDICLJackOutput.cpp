#include "hosts/jack/MIDICLJackOutput.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "hosts/MIDICLMessage.h"
#include "hosts/jack/MIDICLJackHost.h"

MIDICLJackOutput::MIDICLJackOutput(const std::shared_ptr<MIDICLJackHost>& inHost,
                                   jack_port_t* inPort, jack_ringbuffer_t* inQueue)
    : mHost(inHost), mPort(inPort), mQueue(inQueue) {}

// Drained first, so that the last note-offs are heard; then out of the
// table, so that the process callback has let go of the queue before it is
// freed.
MIDICLJackOutput::~MIDICLJackOutput() {
    Drain();
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
// A note-on must leave room for its own note-off besides those already kept.
std::int32_t MIDICLJackOutput::Queue(MIDICLTimeStamp inTimeStamp, const std::uint8_t* inData,
                                     std::size_t inLength) {
    const MIDICLQueuedHeader header{inTimeStamp, static_cast<std::uint32_t>(inLength)};
    const std::size_t bytes = sizeof header + inLength;
    const bool noteOn = inLength == 3 && (inData[0] & 0xF0) == 0x90 && inData[2] != 0;
    const bool noteOff =
        inLength == 3 && ((inData[0] & 0xF0) == 0x80 || ((inData[0] & 0xF0) == 0x90 && !noteOn));
    const std::size_t kept = noteOff ? 0 : mReservedBytes;
    const std::size_t needed = bytes + kept + (noteOn ? bytes : 0);
    if (jack_ringbuffer_write_space(mQueue) < needed) {
        return -ENOBUFS;
    }
    jack_ringbuffer_write(mQueue, reinterpret_cast<const char*>(&header), sizeof header);
    jack_ringbuffer_write(mQueue, reinterpret_cast<const char*>(inData), inLength);
    mQueuedAny = true;
    if (noteOn) {
        mReservedBytes += bytes;
    } else if (noteOff) {
        mReservedBytes -= std::min(mReservedBytes, bytes);
    }
    return 0;
}

// A stamp's frame plus one period, which hides when in the period the
// sender woke. Frames only move forward within a cycle, as JACK requires;
// false means the message belongs to a later cycle.
bool MIDICLJackOutput::FrameFor(MIDICLTimeStamp inTimeStamp, jack_nframes_t inFrames,
                                jack_nframes_t inCycleStart, jack_nframes_t& ioFrame) {
    if (inTimeStamp == 0) {
        return true;
    }
    const auto due = static_cast<jack_nframes_t>(inTimeStamp);
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
        // A full buffer leaves the rest for the next cycle: late, not lost.
        // Only a message too long for even an empty buffer is given up on,
        // or it would hold up everything behind it for good.
        jack_midi_data_t* event = jack_midi_event_reserve(buffer, frame, header.mLength);
        if (event == nullptr && jack_midi_get_event_count(buffer) > 0) {
            break;
        }
        if (event == nullptr) {
            jack_ringbuffer_read_advance(mQueue, sizeof header + header.mLength);
            continue;
        }
        jack_ringbuffer_read_advance(mQueue, sizeof header);
        jack_ringbuffer_read(mQueue, reinterpret_cast<char*>(event), header.mLength);
    }
}

// Waits until the queue is empty and a cycle has passed after that, so that
// what the last pass wrote has reached the ports it is connected to. A
// server that stops cycling, or takes longer than kDrainLimit, is given up
// on: it must not hang the program.
void MIDICLJackOutput::Drain() {
    if (!mQueuedAny) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    constexpr auto kDrainLimit = std::chrono::seconds(2);
    constexpr auto kStuckLimit = std::chrono::milliseconds(250);
    const Clock::time_point giveUp = Clock::now() + kDrainLimit;
    std::uint64_t cycles = mHost->GetCycleCount();
    std::uint64_t emptyAt = 0;
    Clock::time_point lastProgress = Clock::now();
    while (!mHost->IsServerGone() && Clock::now() < giveUp &&
           Clock::now() - lastProgress < kStuckLimit) {
        const std::uint64_t now = mHost->GetCycleCount();
        if (emptyAt == 0 && jack_ringbuffer_read_space(mQueue) == 0) {
            emptyAt = now + 1;
        }
        if (emptyAt != 0 && now > emptyAt) {
            return;
        }
        if (now != cycles) {
            cycles = now;
            lastProgress = Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
