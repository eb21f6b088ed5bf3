#include "hosts/alsa/MIDICLAlsaOutput.h"

#include <cerrno>

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
    mHost->GetDrainWait().Wait([this] { return SendHeldNow(); },
                               [this] {
                                   std::lock_guard<std::mutex> lock(mSendMutex);
                                   return mHeld.GetCount();
                               });
    snd_seq_delete_simple_port(mHost->GetSequencer(), mPort);
}

void MIDICLAlsaOutput::Flush() {
    std::lock_guard<std::mutex> lock(mSendMutex);
    SendHeld();
}

void MIDICLAlsaOutput::WithdrawPending(MIDICLTimeStamp) {
    if (!SendHeldNow()) {
        mHost->GetDrainer().Add(this);
    }
}

bool MIDICLAlsaOutput::SendHeldNow() {
    for (;;) {
        std::lock_guard<std::mutex> lock(mSendMutex);
        if (mHeld.IsEmpty()) {
            return true;
        }
        if (IsFull(Output(mHeld.Front(), MIDICLHeldNoteOffs::kNoteBytes))) {
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
    snd_seq_t* sequencer = mHost->GetSequencer();
    snd_seq_query_subscribe_t* query = nullptr;
    snd_seq_query_subscribe_alloca(&query);
    snd_seq_addr_t root{static_cast<unsigned char>(mHost->GetClientId()),
                        static_cast<unsigned char>(mPort)};
    snd_seq_query_subscribe_set_root(query, &root);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
    snd_seq_query_subscribe_set_index(query, 0);
    while (snd_seq_query_port_subscribers(sequencer, query) >= 0) {
        const snd_seq_addr_t* address = snd_seq_query_subscribe_get_addr(query);
        const MIDICLEndpointRef endpoint =
            MIDICLAlsaCodec::MakeEndpoint(address->client, address->port);
        std::string name;
        if (mHost->GetEndpointName(endpoint, name)) {
            connections.push_back({name, mHost->IsOwnEndpoint(endpoint)});
        }
        snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
    }
    return connections;
}

bool MIDICLAlsaOutput::IsFull(int inStatus) {
    return inStatus == -EAGAIN || inStatus == -EWOULDBLOCK || inStatus == -ENOMEM ||
           inStatus == -ENOSPC;
}

std::int32_t MIDICLAlsaOutput::Send(const MIDICLPacketList& inList) {
    std::lock_guard<std::mutex> lock(mSendMutex);
    for (std::size_t i = 0; i < inList.GetNumPackets(); ++i) {
        const MIDICLPacket packet = inList.GetPacket(i);
        const std::int32_t status = SendBytes(packet.mData, packet.mLength);
        if (status != 0) {
            return status;
        }
    }
    return 0;
}

// The sequencer has no use for our monotonic time stamps: sending now is what
// "direct" means.
std::int32_t MIDICLAlsaOutput::SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                                         MIDICLTimeStamp, MIDICLSysExDoneProc inDone,
                                         void* inRefCon) {
    std::unique_lock<std::mutex> lock(mSendMutex);
    const std::int32_t status = SendBytes(inData, inLength);
    lock.unlock();
    if (status == 0) {
        inDone(inRefCon);
    }
    return status;
}

std::int32_t MIDICLAlsaOutput::SendBytes(const std::uint8_t* inData, std::size_t inLength) {
    if (!mConnected) {
        return 0;
    }
    for (std::size_t offset = 0; offset < inLength;) {
        const std::size_t used = MIDICLMessage::Length(inData + offset, inLength - offset);
        if (used == 0) {
            return -EINVAL;
        }
        const int status = SendMessage(inData + offset, used);
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
int MIDICLAlsaOutput::SendMessage(const std::uint8_t* inData, std::size_t inLength) {
    if (MIDICLMessage::IsNoteOff(inData, inLength)) {
        return SendNoteOff(inData);
    }
    const int held = SendHeld();
    if (held != 0) {
        return held;
    }
    const bool noteOn = MIDICLMessage::IsNoteOn(inData, inLength);
    if (noteOn && !mHeld.HasRoomForNoteOn()) {
        return -ENOBUFS;
    }
    const int status = Output(inData, inLength);
    if (noteOn && status == 0) {
        mHeld.StartSounding();
    }
    return status;
}

// A note-off the receiver has no room for now counts as sent: it goes as
// soon as the receiver takes it.
int MIDICLAlsaOutput::SendNoteOff(const std::uint8_t* inData) {
    mHeld.EndSounding();
    int status = SendHeld();
    if (status == 0) {
        status = Output(inData, MIDICLHeldNoteOffs::kNoteBytes);
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
        const int status = Output(mHeld.Front(), MIDICLHeldNoteOffs::kNoteBytes);
        if (IsFull(status)) {
            return status;
        }
        mHeld.PopFront();
    }
    return 0;
}

int MIDICLAlsaOutput::Output(const std::uint8_t* inData, std::size_t inLength) {
    snd_seq_event_t event;
    if (MIDICLAlsaCodec::Encode(inData, inLength, event) != inLength) {
        return -EINVAL;
    }
    snd_seq_ev_set_source(&event, mPort);
    snd_seq_ev_set_dest(&event, mDestinationClient, mDestinationPort);
    snd_seq_ev_set_direct(&event);
    const int status = snd_seq_event_output_direct(mHost->GetSequencer(), &event);
    return status < 0 ? status : 0;
}
