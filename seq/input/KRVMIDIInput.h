#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "MIDICLInputPortListener.h"
#include "MIDICLTypes.h"
#include "input/KRVInputMessage.h"
#include "input/KRVInputQueue.h"
#include "input/KRVMIDIParser.h"

class MIDICLClock;
class MIDICLInputPort;
class MIDICLOutputPort;

// What krv hears from the keyboard: an input port connected to one source,
// whose messages the host's thread parses and queues for the command thread,
// and passes on at once ("thru") to an output port on a channel of krv's
// choosing. The host thread allocates nothing, waits for nothing and prints
// nothing. The thru port and the keys it holds are claimed by whichever
// thread works on them: the host thread only tries (a message that finds the
// command thread holding them is not passed thru: that thread is ending the
// notes anyway), the command thread waits the few microseconds a message
// takes.
//
// Every note thru started is ended on the command thread, on Close or
// EndThruNotes.
class KRVMIDIInput : private MIDICLInputPortListener {
public:
    KRVMIDIInput();
    ~KRVMIDIInput() override;
    KRVMIDIInput(const KRVMIDIInput&) = delete;
    KRVMIDIInput& operator=(const KRVMIDIInput&) = delete;

    // Makes the input port; it may throw what MIDICLClient::MakeInputPort
    // throws.
    using PortMaker = std::function<std::unique_ptr<MIDICLInputPort>()>;

    // Listens from now on on a port inMakePort makes, connected to
    // inSource; an input already open is closed first.
    void Open(PortMaker inMakePort, MIDICLEndpointRef inSource);
    // Closes the port and ends the notes thru left sounding.
    void Close();
    bool IsOpen() const { return mPort != nullptr; }
    // Whether the port is connected to its source now (MIDICLInputPort).
    bool HearsSource() const;

    // Where thru goes: inPort (not owned) on inChannel0 (0-15); a null port
    // stops thru. The notes thru left sounding end first.
    void SetThru(MIDICLOutputPort* inPort, int inChannel0);
    // The same, pointing the port at inDestination first.
    void SetThru(MIDICLOutputPort* inPort, int inChannel0, MIDICLEndpointRef inDestination);
    MIDICLOutputPort* GetThruPort() const { return mThruPort; }
    int GetThruChannel0() const { return mThruChannel0; }
    // Ends the notes thru left sounding (at stop), the input staying open;
    // costs nothing when none sound.
    void EndThruNotes();
    // Runs inChange while the command thread holds the thru port, so that
    // it may send on it or point it elsewhere; the notes thru left sounding
    // end first. The input goes on listening meanwhile.
    void Reconfigure(const std::function<void()>& inChange);

    // Where the messages a clock follows go (KRVMIDIParser::IsClockMessage),
    // stamped as the rest; without a queue they are dropped. Set while the
    // input is closed.
    void SetClockQueue(KRVInputQueue* inQueue) { mClockQueue = inQueue; }

    // Command thread only; false when empty.
    bool Pop(KRVInputMessage& outMessage) { return mQueue.Pop(outMessage); }
    // Readable while messages wait.
    int GetWakeFd() const { return mQueue.GetWakeFd(); }
    // Messages dropped past the queue's bound since the last call.
    std::uint64_t TakeDroppedCount() { return mQueue.TakeDroppedCount(); }

    // What a host's thread calls with what arrived; tests may call it too,
    // from one thread, while the input is closed.
    void Hear(const MIDICLPacketList* inList) override;

private:
    void Listen();
    void Thru(const KRVInputMessage& inMessage);
    void PassThru(const KRVInputMessage& inMessage);
    void EndHeldNotes();
    void ClaimThru();
    void ReleaseThru() { mThruClaimed.store(false, std::memory_order_release); }

    PortMaker mMakePort;
    MIDICLEndpointRef mSource;
    std::unique_ptr<MIDICLInputPort> mPort;
    MIDICLClock* mClock;
    KRVMIDIParser mParser;
    KRVInputQueue mQueue;
    KRVInputQueue* mClockQueue = nullptr;
    MIDICLOutputPort* mThruPort;
    std::uint8_t mThruChannel0;
    // Which keys thru has sounding; read and written under the claim.
    std::array<bool, 128> mThruHeld;
    // How many of them, for the command thread to tell whether ending them
    // is needed.
    std::atomic<int> mThruSounding;
    std::atomic<bool> mThruClaimed{false};
};
