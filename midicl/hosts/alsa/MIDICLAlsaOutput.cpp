#include "hosts/alsa/MIDICLAlsaOutput.h"

#include <algorithm>
#include <cerrno>

#include "MIDICLMonotonicClock.h"
#include "hosts/MIDICLMessage.h"
#include "hosts/alsa/MIDICLAlsaCodec.h"
#include "hosts/alsa/MIDICLAlsaHost.h"

MIDICLAlsaOutput::MIDICLAlsaOutput(const std::shared_ptr<MIDICLAlsaHost>& inHost, int inPort)
    : mHost(inHost),
      mPort(inPort),
      mConnected(false),
      mDestinationClient(0),
      mDestinationPort(0),
      mConnectStatus(0) {}

MIDICLAlsaOutput::~MIDICLAlsaOutput() {
    mHost->GetDrainer().Remove(this);
    {
        std::lock_guard lock(mSendMutex);
        WithdrawScheduled(MIDICLMonotonicClock::NowNS());
    }
    mHost->GetDrainWait().Wait([this] { return SendHeldNow(); },
                               [this] {
                                   std::lock_guard lock(mSendMutex);
                                   return mHeld.GetCount();
                               });
    snd_seq_delete_simple_port(mHost->GetSequencer(), mPort);
}

void MIDICLAlsaOutput::Flush() {
    std::lock_guard lock(mSendMutex);
    SendHeld();
}

void MIDICLAlsaOutput::WithdrawPending(MIDICLTimeStamp inTime) {
    {
        std::lock_guard lock(mSendMutex);
        WithdrawScheduled(inTime);
    }
    if (!SendHeldNow()) {
        mHost->GetDrainer().Add(this);
    }
}

bool MIDICLAlsaOutput::SendHeldNow() {
    for (;;) {
        std::lock_guard lock(mSendMutex);
        if (mHeld.IsEmpty()) {
            return true;
        }
        if (IsFull(Output(mHeld.Front(), MIDICLHeldNoteOffs::kNoteBytes, 0))) {
            return false;
        }
        mHeld.PopFront();
    }
}

void MIDICLAlsaOutput::Disconnect() {
    if (mConnected) {
        snd_seq_disconnect_to(mHost->GetSequencer(), mPort, mDestinationClient, mDestinationPort);
        mConnected = false;
    }
}

void MIDICLAlsaOutput::Connect(MIDICLEndpointRef inDestination) {
    Disconnect();
    mConnectStatus = 0;
    int client = 0;
    int port = 0;
    if (!MIDICLAlsaCodec::SplitEndpoint(inDestination, client, port)) {
        return;
    }
    mConnectStatus = snd_seq_connect_to(mHost->GetSequencer(), mPort, client, port);
    if (mConnectStatus < 0) {
        return;
    }
    mConnectStatus = 0;
    mDestinationClient = client;
    mDestinationPort = port;
    mConnected = true;
}

std::vector<MIDICLConnection> MIDICLAlsaOutput::GetConnections() const {
    std::vector<MIDICLConnection> connections;
    for (const snd_seq_addr_t& address : mHost->GetSubscribers(mPort, SND_SEQ_QUERY_SUBS_READ)) {
        const MIDICLEndpointRef endpoint =
            MIDICLAlsaCodec::MakeEndpoint(address.client, address.port);
        std::string name;
        if (mHost->GetEndpointName(endpoint, name)) {
            connections.push_back({name, mHost->IsOwnEndpoint(endpoint)});
        }
    }
    return connections;
}

bool MIDICLAlsaOutput::IsFull(int inStatus) {
    return inStatus == -EAGAIN || inStatus == -EWOULDBLOCK || inStatus == -ENOMEM ||
           inStatus == -ENOSPC;
}

std::int32_t MIDICLAlsaOutput::Send(const MIDICLPacketList& inList) {
    std::lock_guard lock(mSendMutex);
    for (std::size_t i = 0; i < inList.GetNumPackets(); ++i) {
        const MIDICLPacket packet = inList.GetPacket(i);
        const std::int32_t status = SendBytes(packet.mData, packet.mLength, packet.mTimeStamp);
        if (status != 0) {
            return status;
        }
    }
    return 0;
}

// System exclusive goes now, whatever its stamp: it may be longer than what
// the port keeps of a queued message.
std::int32_t MIDICLAlsaOutput::SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                                         MIDICLTimeStamp, MIDICLSysExDoneProc inDone,
                                         void* inRefCon) {
    std::unique_lock lock(mSendMutex);
    const std::int32_t status = SendBytes(inData, inLength, 0);
    lock.unlock();
    if (status == 0) {
        inDone(inRefCon);
    }
    return status;
}

std::int32_t MIDICLAlsaOutput::SendBytes(const std::uint8_t* inData, std::size_t inLength,
                                         MIDICLTimeStamp inStamp) {
    if (!mConnected) {
        return 0;
    }
    for (std::size_t offset = 0; offset < inLength;) {
        const std::size_t used = MIDICLMessage::Length(inData + offset, inLength - offset);
        if (used == 0) {
            return -EINVAL;
        }
        const int status = SendMessage(inData + offset, used, inStamp);
        if (status < 0) {
            return status;
        }
        offset += used;
    }
    return 0;
}

// What was held goes first, so nothing overtakes a note-off: while one is
// held, only note-offs are taken (behind it), and everything else is
// refused as the receiver refused it.
int MIDICLAlsaOutput::SendMessage(const std::uint8_t* inData, std::size_t inLength,
                                  MIDICLTimeStamp inStamp) {
    if (MIDICLMessage::IsNoteOff(inData, inLength)) {
        return SendNoteOff(inData, inStamp);
    }
    const int held = SendHeld();
    if (held != 0) {
        return held;
    }
    const bool noteOn = MIDICLMessage::IsNoteOn(inData, inLength);
    if (noteOn && !mHeld.HasRoomForNoteOn()) {
        return -ENOBUFS;
    }
    const int status = Output(inData, inLength, inStamp);
    if (noteOn && status == 0) {
        mHeld.StartSounding();
    }
    return status;
}

// A note-off the receiver has no room for now counts as sent: it goes as
// soon as the receiver takes it.
int MIDICLAlsaOutput::SendNoteOff(const std::uint8_t* inData, MIDICLTimeStamp inStamp) {
    mHeld.EndSounding();
    int status = SendHeld();
    if (status == 0) {
        status = Output(inData, MIDICLHeldNoteOffs::kNoteBytes, inStamp);
    }
    if (IsFull(status) && mHeld.Hold(inData)) {
        return 0;
    }
    return status;
}

// A note-off refused for any other reason (its destination went away) can
// never go, and is let go so that the rest may.
int MIDICLAlsaOutput::SendHeld() {
    while (!mHeld.IsEmpty()) {
        const int status = Output(mHeld.Front(), MIDICLHeldNoteOffs::kNoteBytes, 0);
        if (IsFull(status)) {
            return status;
        }
        mHeld.PopFront();
    }
    return 0;
}

// A note-off goes no earlier than what was queued before it, so that it
// never overtakes its note-on (a stop's, a held one) and is taken back with
// it. A note-on finds no room on the queue before a note-off does.
int MIDICLAlsaOutput::Output(const std::uint8_t* inData, std::size_t inLength,
                             MIDICLTimeStamp inStamp) {
    const MIDICLTimeStamp now = MIDICLMonotonicClock::NowNS();
    const MIDICLTimeStamp stamp =
        MIDICLMessage::IsNoteOff(inData, inLength) ? std::max(inStamp, mLatestStamp) : inStamp;
    if (!mHost->SchedulesAt(stamp, now) || inLength > MIDICLAlsaScheduled::kMaxBytes) {
        return Deliver(inData, inLength, 0);
    }
    mScheduled.Forget(now);
    if (!mScheduled.HasRoomFor(MIDICLMessage::IsNoteOn(inData, inLength))) {
        return -ENOBUFS;
    }
    const int status = Deliver(inData, inLength, stamp);
    if (status == 0) {
        mScheduled.Add(stamp, inData, inLength);
        mLatestStamp = std::max(mLatestStamp, stamp);
    }
    return status;
}

int MIDICLAlsaOutput::Deliver(const std::uint8_t* inData, std::size_t inLength,
                              MIDICLTimeStamp inStamp) {
    snd_seq_event_t event;
    if (MIDICLAlsaCodec::Encode(inData, inLength, event) != inLength) {
        return -EINVAL;
    }
    snd_seq_ev_set_source(&event, mPort);
    snd_seq_ev_set_dest(&event, mDestinationClient, mDestinationPort);
    event.tag = static_cast<unsigned char>(mPort);
    if (inStamp != 0) {
        mHost->Schedule(event, inStamp);
    } else {
        snd_seq_ev_set_direct(&event);
    }
    const int status = snd_seq_event_output_direct(mHost->GetSequencer(), &event);
    return status < 0 ? status : 0;
}

// The kernel gives up what is due from the cut; of that, what must still
// sound goes again at the cut (at once, when that has come), and a note-off
// it has no room for is held like any other.
void MIDICLAlsaOutput::WithdrawScheduled(MIDICLTimeStamp inCut) {
    const MIDICLTimeStamp now = MIDICLMonotonicClock::NowNS();
    mScheduled.Forget(now);
    if (!mScheduled.HasToWithdraw(inCut)) {
        return;
    }
    mHost->Unschedule(static_cast<unsigned char>(mPort), inCut);
    const MIDICLTimeStamp resendAt = mHost->SchedulesAt(inCut, now) ? inCut : 0;
    mScheduled.Withdraw(inCut, [this, resendAt](const MIDICLAlsaScheduled::Message& inMessage) {
        const std::uint8_t* bytes = inMessage.mBytes.data();
        const int status = Deliver(bytes, inMessage.mLength, resendAt);
        if (IsFull(status) && MIDICLMessage::IsNoteOff(bytes, inMessage.mLength)) {
            mHeld.Hold(bytes);
        }
    });
    if (resendAt == 0) {
        mScheduled.Forget(now);
    }
}
