#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "hosts/MIDICLHostOutput.h"
#include "hosts/MIDICLRepeatedNoteOffs.h"
#include "hosts/MIDICLWithdrawal.h"

class MIDICLJackHost;

// A MIDI output port of our JACK client. Senders queue each message with its
// time stamp (a frame on the host's clock) in a lock-free ring buffer; the
// process callback drains it in order, placing each message a fixed latency
// (the first cycle's length) after its frame, so that when in the period the
// sender woke does not matter, and
// keeping messages due in a later cycle, or that found the cycle's buffer
// full, for a later cycle. One thread at a time may send on a port: the ring
// buffer has a single writer.
//
// Room in the queue is kept for the note-off of every note-on it took, so
// when more is sent than the server carries away, note-ons are refused and a
// note-off never is. Destroying the port first lets the server carry away
// what is queued (within a bound, and not once the server is gone).
//
// No cycle takes more than a set number of bytes of events from one port:
// PipeWire silently loses a whole cycle when one port is handed more than
// about 1365 short events, so the rest waits for the next cycle, late but
// not lost. A player that stops withdraws what has not gone out yet
// (WithdrawPending) and was due at or after the stop, or can no longer go
// on time: each message carries the generation it was sent in, and every
// generation before the current one was cut at its own time.
class MIDICLJackOutput : public MIDICLHostOutput {
public:
    static constexpr std::size_t kQueueBytes = 256 * 1024;

    // Takes ownership of the registered port and the ring buffer.
    MIDICLJackOutput(const std::shared_ptr<MIDICLJackHost>& inHost, jack_port_t* inPort,
                     jack_ringbuffer_t* inQueue);
    ~MIDICLJackOutput() override;

    void Connect(MIDICLEndpointRef inDestination) override;
    std::vector<MIDICLConnection> GetConnections() const override;
    // True unless a connection was asked for that the server does not show.
    bool IsConnectionLive() const;
    // For the process callback while the host waits for connections.
    void WatchConnection();
    // -ENOBUFS when the queue is full, -EINVAL for bytes that are no MIDI.
    std::int32_t Send(const MIDICLPacketList& inList) override;
    std::int32_t SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                           MIDICLTimeStamp inTimeStamp, MIDICLSysExDoneProc inDone,
                           void* inRefCon) override;
    void WithdrawPending(MIDICLTimeStamp inTime) override;

    // Where the host's table of outputs keeps this port, for MarkOutput.
    // Set once, before anything is sent.
    void SetSlot(std::size_t inSlot) { mSlot = inSlot; }

    // For the process callback, in a cycle the port may need it: fills this
    // cycle's buffer. inCycleStart is the cycle's position on the host's
    // clock; messages are placed inLatency frames after their time.
    // inMarked: something was queued or withdrawn since the last pass.
    // inRegular: the cycle follows on from the last one (see
    // MIDICLRepeatedNoteOffs for what is written again when it does not),
    // and inPeriodUsecs how long a cycle lasts.
    // Returns whether the port needs the next cycle too: a message is still
    // queued, or the buffer holds events, which JACK would hand on again
    // unless the next cycle clears them.
    bool Process(jack_nframes_t inFrames, std::uint64_t inCycleStart, jack_nframes_t inLatency,
                 bool inMarked, bool inRegular, double inPeriodUsecs);

    // What one event costs of a cycle's budget: PipeWire's own record of
    // it, a 16-byte header and the bytes padded to 8.
    static std::size_t EventCost(std::size_t inLength) {
        return 16 + ((inLength + 7) & ~std::size_t(7));
    }
    // 1024 three-byte events, three quarters of what PipeWire carries.
    static constexpr std::size_t kCycleBudget = 24 * 1024;

private:
    struct MIDICLQueuedHeader {
        MIDICLTimeStamp mTimeStamp;
        std::uint32_t mLength;
        std::uint32_t mGeneration;
    };
    // The head of the queue: its header and its first bytes, enough to
    // tell a note message.
    struct MIDICLQueuedHead {
        MIDICLQueuedHeader mHeader;
        std::uint8_t mBytes[3];
    };
    // Stops remembered; many more than can be in the queue at once, since
    // a player hands over nothing while the server does not take it.
    static constexpr std::size_t kCutSlots = 64;

    std::int32_t Queue(MIDICLTimeStamp inTimeStamp, const std::uint8_t* inData,
                       std::size_t inLength);
    static bool FrameFor(MIDICLTimeStamp inTimeStamp, jack_nframes_t inFrames,
                         std::uint64_t inCycleStart, jack_nframes_t inLatency,
                         jack_nframes_t& ioFrame);
    // Whether a message stamped inTimeStamp goes in this cycle (or is late).
    static bool IsDue(MIDICLTimeStamp inTimeStamp, jack_nframes_t inFrames,
                      std::uint64_t inCycleStart, jack_nframes_t inLatency);
    bool PeekHead(MIDICLQueuedHead& outHead) const;
    MIDICLTimeStamp GetCut(std::uint32_t inGeneration) const;
    void Drain();
    // Writes the note-offs of the last cycles again, first in the cycle;
    // returns the budget left.
    std::size_t Repeat(void* ioBuffer, std::size_t inBudget);

    std::shared_ptr<MIDICLJackHost> mHost;
    jack_port_t* const mPort;
    jack_ringbuffer_t* const mQueue;
    // Queue bytes kept for the note-offs of the note-ons queued; the
    // sending thread's alone.
    std::size_t mReservedBytes = 0;
    // The generation messages are sent in now; the sending thread's alone.
    std::uint32_t mGeneration = 0;
    // Where each generation before mCutBelow was cut, by generation modulo
    // kCutSlots.
    std::array<std::atomic<MIDICLTimeStamp>, kCutSlots> mCuts{};
    std::atomic<std::uint32_t> mCutBelow{0};
    // The process callback's own.
    MIDICLWithdrawal mWithdrawal;
    MIDICLRepeatedNoteOffs mRepeats;
    // Whether anything was ever queued, so that a port that sent nothing
    // closes at once. Written by the sending thread, read by the owner's.
    std::atomic<bool> mQueuedAny{false};
    // The host's cycle count when a pass last wrote events: a drain waits a
    // whole cycle past it.
    std::atomic<std::uint64_t> mLastWrittenCycle{0};
    // Whether the last Connect asked for a connection; the owner's.
    bool mConnecting = false;
    // Whether a cycle has run with the port connected (WatchConnection).
    std::atomic<bool> mSeenLive{false};
    // The full name of the port Connect connected us to, so that pointing
    // elsewhere drops that connection and no other: those made from outside
    // stay.
    std::string mConnectedTo;
    // The port's slot in the host's table of outputs.
    std::size_t mSlot = 0;
    // The process callback's own: whether the buffer may hold events (a new
    // port's may), and whether the last pass stopped at a message due in a
    // later cycle, and its time stamp. With the buffer clear and nothing
    // marked since, such a message is all there is to wait for: a cycle
    // before it needs nothing of the port.
    bool mBufferHoldsEvents = true;
    bool mWaiting = false;
    MIDICLTimeStamp mWaitingFor = 0;
};
