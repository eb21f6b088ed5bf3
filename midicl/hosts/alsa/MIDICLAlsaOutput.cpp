#include "hosts/alsa/MIDICLAlsaOutput.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "hosts/alsa/MIDICLAlsaCodec.h"
#include "hosts/alsa/MIDICLAlsaHost.h"

MIDICLAlsaOutput::MIDICLAlsaOutput(const std::shared_ptr<MIDICLAlsaHost>& inHost, int inPort)
    : mHost(inHost), mPort(inPort), mConnected(false), mDestinationClient(0), mDestinationPort(0) {}

// What was sent is delivered before the port goes.
MIDICLAlsaOutput::~MIDICLAlsaOutput() {
    mHost->DrainOutput();
    snd_seq_delete_simple_port(mHost->GetSequencer(), mPort);
}

void MIDICLAlsaOutput::Disconnect() {
    if (mConnected) {
        snd_seq_disconnect_to(mHost->GetSequencer(), mPort, mDestinationClient, mDestinationPort);
        mConnected = false;
    }
}

void MIDICLAlsaOutput::Connect(MIDICLEndpointRef inDestination) {
    Disconnect();
    int client = 0;
    int port = 0;
    if (!MIDICLAlsaCodec::SplitEndpoint(inDestination, client, port)) {
        return;
    }
    mDestinationClient = client;
    mDestinationPort = port;
    mConnected = true;
    // A refused subscription only hides the connection from other programs;
    // events carry the destination's address and arrive anyway.
    snd_seq_connect_to(mHost->GetSequencer(), mPort, client, port);
}

std::int32_t MIDICLAlsaOutput::Send(const MIDICLPacketList& inList) {
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
    const std::int32_t status = SendBytes(inData, inLength);
    if (status == 0) {
        inDone(inRefCon);
    }
    return status;
}

bool MIDICLAlsaOutput::IsNoteOff(const std::uint8_t* inData, std::size_t inLength) {
    return inLength == 3 &&
           ((inData[0] & 0xF0) == 0x80 || ((inData[0] & 0xF0) == 0x90 && inData[2] == 0));
}

// A full output pool refuses at once (the sequencer is non-blocking). A
// note-off waits a little for room rather than leave its note hanging.
int MIDICLAlsaOutput::OutputDirect(snd_seq_event_t& ioEvent, bool inMustGo) {
    constexpr int kTries = 100;
    int status = snd_seq_event_output_direct(mHost->GetSequencer(), &ioEvent);
    for (int i = 0; inMustGo && status == -EAGAIN && i < kTries; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        status = snd_seq_event_output_direct(mHost->GetSequencer(), &ioEvent);
    }
    return status;
}

std::int32_t MIDICLAlsaOutput::SendBytes(const std::uint8_t* inData, std::size_t inLength) {
    if (!mConnected) {
        return 0;
    }
    for (std::size_t offset = 0; offset < inLength;) {
        snd_seq_event_t event;
        const std::size_t used = MIDICLAlsaCodec::Encode(inData + offset, inLength - offset, event);
        if (used == 0) {
            return -EINVAL;
        }
        snd_seq_ev_set_source(&event, mPort);
        snd_seq_ev_set_dest(&event, mDestinationClient, mDestinationPort);
        snd_seq_ev_set_direct(&event);
        const int status = OutputDirect(event, IsNoteOff(inData + offset, used));
        if (status < 0) {
            return status;
        }
        offset += used;
    }
    return 0;
}
