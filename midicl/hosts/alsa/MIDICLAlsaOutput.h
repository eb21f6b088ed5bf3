#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <mutex>

#include "MIDICLInheritingMutex.h"
#include "hosts/MIDICLHeldNoteOffs.h"
#include "hosts/MIDICLHostOutput.h"
#include "hosts/alsa/MIDICLAlsaScheduled.h"

class MIDICLAlsaHost;

// A readable port of our sequencer client, subscribed to its destination.
// Events due now go out directly, addressed to the destination; those stamped
// later (a latency) wait on the host's queue, tagged with the port, and what
// must not sound after a stop is taken back from there (WithdrawPending).
// A port that closes sends at once what it still has queued (note-offs), as
// the kernel would drop it with our client.
// A port whose subscription was refused plays nowhere: a hardware port opens
// its device only for a subscriber and would refuse every event, and the
// refusal is said once (GetConnectStatus) rather than on every send.
//
// The sequencer client is non-blocking, so a full receiver refuses at once
// and the sending thread (the clock's) never waits. A note-off it refuses is
// held and goes first on the next send or tick (Flush), in order, until the
// receiver takes it; meanwhile every other message is refused. After a stop,
// when no tick comes, the host's drainer tries what is held instead. See
// MIDICLHeldNoteOffs for the room this takes.
class MIDICLAlsaOutput : public MIDICLHostOutput {
public:
    MIDICLAlsaOutput(const std::shared_ptr<MIDICLAlsaHost>& inHost, int inPort);
    // Waits for the held note-offs, within what the host allows all its
    // ports together (MIDICLDrainWait).
    ~MIDICLAlsaOutput() override;

    void Connect(MIDICLEndpointRef inDestination) override;
    std::int32_t GetConnectStatus() const override { return mConnectStatus; }
    // Every subscriber of the port, whoever subscribed it.
    std::vector<MIDICLConnection> GetConnections() const override;
    std::int32_t Send(const MIDICLPacketList& inList) override;
    std::int32_t SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                           MIDICLTimeStamp inTimeStamp, MIDICLSysExDoneProc inDone,
                           void* inRefCon) override;
    void Flush() override;
    // Of what waits on the queue, what is due at inTime or later is taken
    // back or moved to inTime (MIDICLAlsaScheduled::Withdraw). What the
    // receiver still refuses goes as soon as it takes it, whether krv plays
    // again or waits at its prompt (the host's MIDICLAlsaDrainer).
    void WithdrawPending(MIDICLTimeStamp inTime) override;

    // The errors by which alsa-lib says a receiver or the kernel's pool has
    // no room now.
    static bool IsFull(int inStatus);
    // Sends held note-offs until one is refused for want of room; true when
    // none is left held. Any thread: the lock is taken for one send at a
    // time, so a sender waits at most that long.
    bool SendHeldNow();

private:
    // Sends held note-offs until one is refused for want of room; 0 when none
    // is left held, else the status of that refusal. Under mSendMutex.
    int SendHeld();
    std::int32_t SendBytes(const std::uint8_t* inData, std::size_t inLength,
                           MIDICLTimeStamp inStamp);
    int SendMessage(const std::uint8_t* inData, std::size_t inLength, MIDICLTimeStamp inStamp);
    int SendNoteOff(const std::uint8_t* inData, MIDICLTimeStamp inStamp);
    // Sends now, or queues for inStamp when that is later, and keeps what it
    // queued. Under mSendMutex.
    int Output(const std::uint8_t* inData, std::size_t inLength, MIDICLTimeStamp inStamp);
    // Hands the event over, queued for inStamp unless that is 0.
    int Deliver(const std::uint8_t* inData, std::size_t inLength, MIDICLTimeStamp inStamp);
    // See WithdrawPending. Under mSendMutex.
    void WithdrawScheduled(MIDICLTimeStamp inCut);
    void Disconnect();

    std::shared_ptr<MIDICLAlsaHost> mHost;
    const int mPort;
    bool mConnected;
    int mDestinationClient;
    int mDestinationPort;
    std::int32_t mConnectStatus;
    // Whoever sends (the clock thread, the command thread, the drainer)
    // holds mSendMutex for one message or one list, never while it waits.
    MIDICLInheritingMutex mSendMutex;
    MIDICLHeldNoteOffs mHeld;
    MIDICLAlsaScheduled mScheduled;
    // The latest stamp queued (see Output).
    MIDICLTimeStamp mLatestStamp = 0;
};
