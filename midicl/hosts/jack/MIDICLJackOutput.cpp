#include "hosts/jack/MIDICLJackOutput.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "hosts/MIDICLMessage.h"
#include "hosts/MIDICLSanitizer.h"
#include "hosts/jack/MIDICLJackHost.h"

namespace {

// Byte inAt of the two parts a ring buffer's free bytes come in.
// The bytes are copied through these before the pointer moves: the
// sanitizer must see the hand-over before the other side can see the bytes.
char& At(jack_ringbuffer_data_t (&ioParts)[2], std::size_t inAt) {
    return inAt < ioParts[0].len ? ioParts[0].buf[inAt] : ioParts[1].buf[inAt - ioParts[0].len];
}

}  // namespace

MIDICLJackOutput::MIDICLJackOutput(const std::shared_ptr<MIDICLJackHost>& inHost,
                                   jack_port_t* inPort, jack_ringbuffer_t* inQueue)
    : mHost(inHost), mPort(inPort), mQueue(inQueue) {}

// Drained first, so that the last note-offs are heard; then out of the
// table, so that the process callback has let go of the queue before it is
// freed.
MIDICLJackOutput::~MIDICLJackOutput() {
    Drain();
    mHost->GetOutputs().Remove(this);
    mHost->UnregisterPort(mPort);
    jack_ringbuffer_free(mQueue);
}

void MIDICLJackOutput::Connect(MIDICLEndpointRef inDestination) {
    if (mHost->IsClosed()) {
        return;
    }
    jack_client_t* client = mHost->GetClient();
    if (!mConnectedTo.empty()) {
        if (jack_disconnect(client, jack_port_name(mPort), mConnectedTo.c_str()) == 0) {
            mHost->GraphChanged();
        }
        mConnectedTo.clear();
    }
    const char* name =
        inDestination.IsValid() ? jack_port_name(MIDICLJackHost::GetPort(inDestination)) : nullptr;
    mSeenLive.store(false);
    mConnecting = name != nullptr && jack_connect(client, jack_port_name(mPort), name) == 0;
    if (mConnecting) {
        mHost->GraphChanged();
        mConnectedTo = name;
    }
}

std::vector<MIDICLConnection> MIDICLJackOutput::GetConnections() const {
    std::vector<MIDICLConnection> connections;
    if (mHost->IsClosed()) {
        return connections;
    }
    jack_client_t* client = mHost->GetClient();
    const char** names = jack_port_get_connections(mPort);
    for (std::size_t i = 0; names != nullptr && names[i] != nullptr; ++i) {
        const jack_port_t* port = jack_port_by_name(client, names[i]);
        connections.push_back({names[i], port != nullptr && jack_port_is_mine(client, port)});
    }
    jack_free(names);
    return connections;
}

bool MIDICLJackOutput::IsConnectionLive() const {
    return !mConnecting || mHost->IsClosed() || mSeenLive.load();
}

// Asked in the cycle itself: the graph a cycle runs is the one that carries
// its messages, while a thread of our own may see a new connection a cycle
// before the server runs it.
void MIDICLJackOutput::WatchConnection() {
    mSeenLive.store(jack_port_connected(mPort) > 0, std::memory_order_relaxed);
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
    const MIDICLQueuedHeader header{inTimeStamp, static_cast<std::uint32_t>(inLength), mGeneration};
    const std::size_t bytes = sizeof header + inLength;
    const bool noteOn = MIDICLMessage::IsNoteOn(inData, inLength);
    const bool noteOff = MIDICLMessage::IsNoteOff(inData, inLength);
    const std::size_t kept = noteOff ? 0 : mReservedBytes;
    const std::size_t needed = bytes + kept + (noteOn ? bytes : 0);
    // Room the process callback freed is room it has finished reading.
    MIDICLTakeOver(mQueue);
    if (jack_ringbuffer_write_space(mQueue) < needed) {
        return -ENOBUFS;
    }
    jack_ringbuffer_data_t room[2];
    jack_ringbuffer_get_write_vector(mQueue, room);
    const char* headerBytes = reinterpret_cast<const char*>(&header);
    for (std::size_t i = 0; i < bytes; ++i) {
        At(room, i) = i < sizeof header ? headerBytes[i] : char(inData[i - sizeof header]);
    }
    MIDICLHandOver(mQueue);
    jack_ringbuffer_write_advance(mQueue, bytes);
    mHost->MarkOutput(mSlot);
    mQueuedAny = true;
    if (noteOn) {
        mReservedBytes += bytes;
    } else if (noteOff) {
        mReservedBytes -= std::min(mReservedBytes, bytes);
    }
    return 0;
}

// The cut is stored before the generation moves on, so the process callback
// never sees a generation cut without its time.
void MIDICLJackOutput::WithdrawPending(MIDICLTimeStamp inTime) {
    mCuts[mGeneration % kCutSlots].store(inTime);
    ++mGeneration;
    mCutBelow.store(mGeneration);
    // What waits for a later cycle may now go, or go at once.
    mHost->MarkOutput(mSlot);
}

MIDICLTimeStamp MIDICLJackOutput::GetCut(std::uint32_t inGeneration) const {
    const bool cut = static_cast<std::int32_t>(inGeneration - mCutBelow.load()) < 0;
    return cut ? mCuts[inGeneration % kCutSlots].load() : 0;
}

// A stamp's frame plus the latency, which hides when in the period the
// sender woke. Frames only move forward within a cycle, as JACK requires;
// false means the message belongs to a later cycle.
bool MIDICLJackOutput::FrameFor(MIDICLTimeStamp inTimeStamp, jack_nframes_t inFrames,
                                std::uint64_t inCycleStart, jack_nframes_t inLatency,
                                jack_nframes_t& ioFrame) {
    if (inTimeStamp == 0) {
        return true;
    }
    const std::int64_t offset = static_cast<std::int64_t>(inTimeStamp - inCycleStart) + inLatency;
    if (offset >= static_cast<std::int64_t>(inFrames)) {
        return false;
    }
    if (offset > static_cast<std::int64_t>(ioFrame)) {
        ioFrame = static_cast<jack_nframes_t>(offset);
    }
    return true;
}

bool MIDICLJackOutput::IsDue(MIDICLTimeStamp inTimeStamp, jack_nframes_t inFrames,
                             std::uint64_t inCycleStart, jack_nframes_t inLatency) {
    jack_nframes_t frame = 0;
    return FrameFor(inTimeStamp, inFrames, inCycleStart, inLatency, frame);
}

// False until the whole message at the head has arrived.
bool MIDICLJackOutput::PeekHead(MIDICLQueuedHead& outHead) const {
    MIDICLTakeOver(mQueue);
    const std::size_t available = jack_ringbuffer_read_space(mQueue);
    if (available < sizeof outHead.mHeader ||
        jack_ringbuffer_peek(mQueue, reinterpret_cast<char*>(&outHead.mHeader),
                             sizeof outHead.mHeader) != sizeof outHead.mHeader ||
        available < sizeof outHead.mHeader + outHead.mHeader.mLength) {
        return false;
    }
    // The header and the first bytes, copied out in one piece.
    char head[sizeof outHead.mHeader + sizeof outHead.mBytes];
    const std::size_t length =
        sizeof outHead.mHeader + std::min<std::size_t>(outHead.mHeader.mLength, 3);
    jack_ringbuffer_peek(mQueue, head, length);
    std::memcpy(outHead.mBytes, head + sizeof outHead.mHeader, length - sizeof outHead.mHeader);
    return true;
}

// JACK requires the buffer of an output port to be cleared before events go
// in, in the cycle they go in: it keeps what the buffer holds from cycle to
// cycle. So a pass clears it, and a pass comes in every cycle after one that
// wrote events, until a pass leaves it empty. A buffer left empty stays
// empty untouched, and a cycle in which nothing is due, with nothing marked
// since the last pass, skips the port.
bool MIDICLJackOutput::Process(jack_nframes_t inFrames, std::uint64_t inCycleStart,
                               jack_nframes_t inLatency, bool inMarked, bool inRegular,
                               double inPeriodUsecs) {
    if (!inMarked && !mBufferHoldsEvents && mWaiting && mRepeats.IsEmpty() &&
        !IsDue(mWaitingFor, inFrames, inCycleStart, inLatency)) {
        return true;
    }
    mWaiting = false;
    void* buffer = jack_port_get_buffer(mPort, inFrames);
    jack_midi_clear_buffer(buffer);
    jack_nframes_t frame = 0;
    std::size_t budget = kCycleBudget;
    if (mRepeats.BeginCycle(inRegular, inPeriodUsecs)) {
        budget = Repeat(buffer, budget);
    }
    MIDICLQueuedHead head;
    while (PeekHead(head)) {
        const std::uint32_t length = head.mHeader.mLength;
        const std::size_t queued = sizeof head.mHeader + length;
        MIDICLTimeStamp stamp = head.mHeader.mTimeStamp;
        MIDICLTimeStamp cut = GetCut(head.mHeader.mGeneration);
        // What was due before the stop and still goes out on time is sent
        // as stamped: the player counts it as played (where a pause goes
        // on from).
        if (cut != 0 && stamp != 0 && stamp < cut && stamp + inLatency >= inCycleStart) {
            cut = 0;
        }
        if (!mWithdrawal.Pass(head.mBytes, length, cut, stamp)) {
            MIDICLHandOver(mQueue);
            jack_ringbuffer_read_advance(mQueue, queued);
            continue;
        }
        const bool first = jack_midi_get_event_count(buffer) == 0;
        if (!FrameFor(stamp, inFrames, inCycleStart, inLatency, frame)) {
            mWaiting = true;
            mWaitingFor = stamp;
            break;
        }
        if (!first && EventCost(length) > budget) {
            break;
        }
        // A full buffer leaves the rest for the next cycle: late, not lost.
        // Only a message too long for even an empty buffer is given up on,
        // or it would hold up everything behind it for good.
        jack_midi_data_t* event = jack_midi_event_reserve(buffer, frame, length);
        if (event == nullptr && !first) {
            break;
        }
        if (event == nullptr) {
            MIDICLHandOver(mQueue);
            jack_ringbuffer_read_advance(mQueue, queued);
            continue;
        }
        budget -= std::min(budget, EventCost(length));
        // Read by libjack into the port's buffer, which the server hands on.
        jack_ringbuffer_read_advance(mQueue, sizeof head.mHeader);
        jack_ringbuffer_read(mQueue, reinterpret_cast<char*>(event), length);
        MIDICLHandOver(mQueue);
        mRepeats.Written(event, length);
    }
    mBufferHoldsEvents = jack_midi_get_event_count(buffer) > 0;
    if (mBufferHoldsEvents) {
        mLastWrittenCycle.store(mHost->GetCycleCount(), std::memory_order_relaxed);
    }
    return mBufferHoldsEvents || jack_ringbuffer_read_space(mQueue) > 0 || !mRepeats.IsEmpty();
}

// At the cycle's first frame, before anything new: a note-on of the same
// key written after them ends their repeats (MIDICLRepeatedNoteOffs).
std::size_t MIDICLJackOutput::Repeat(void* ioBuffer, std::size_t inBudget) {
    std::uint8_t noteOff[3];
    for (std::size_t key = 0; mRepeats.Get(key, noteOff); ++key) {
        if (EventCost(sizeof noteOff) > inBudget) {
            break;
        }
        jack_midi_data_t* event = jack_midi_event_reserve(ioBuffer, 0, sizeof noteOff);
        if (event == nullptr) {
            break;
        }
        std::copy(noteOff, noteOff + sizeof noteOff, event);
        inBudget -= EventCost(sizeof noteOff);
    }
    return inBudget;
}

// Waits until the queue is empty and a whole cycle has passed after the
// last that wrote, so that what it wrote has reached the ports it is
// connected to; as long as MIDICLDrainWait allows. A server that stopped
// cycling counts as unresponsive for the rest of the teardown.
void MIDICLJackOutput::Drain() {
    if (!mQueuedAny) {
        return;
    }
    MIDICLDrainWait& wait = mHost->GetDrainWait();
    wait.Wait(
        [this] {
            return mHost->IsServerGone() || mHost->GetTeardown().IsUnresponsive() ||
                   (jack_ringbuffer_read_space(mQueue) == 0 &&
                    mHost->GetCycleCount() > mLastWrittenCycle.load() + 1);
        },
        [this] { return mHost->GetCycleCount(); });
    if (wait.IsStuck()) {
        mHost->GetTeardown().MarkUnresponsive();
    }
}
