#include "MIDICLOutputPort.h"

#include "MIDICLClient.h"
#include "MIDICLException.h"
#include "MIDICLNameBuffer.h"
#include "hosts/MIDICLHost.h"

MIDICLOutputPort::MIDICLOutputPort(const std::shared_ptr<MIDICLHost>& inHost,
                                   const std::string& inName)
    : mSysExBuffer(nullptr),
      mName(inName),
      mDestination(),
      mHost(inHost),
      mHostPort(inHost->CreateOutputPort(inName)) {}

MIDICLOutputPort::~MIDICLOutputPort() = default;

MIDICLClock& MIDICLOutputPort::GetClock() const {
    return mHost->GetClock();
}

std::shared_ptr<MIDICLTransport> MIDICLOutputPort::GetTransport() const {
    MIDICLTransport* transport = mHost->GetTransport();
    return transport != nullptr ? std::shared_ptr<MIDICLTransport>(mHost, transport) : nullptr;
}

bool MIDICLOutputPort::IsHostGone() const {
    return mHost->IsGone();
}

void MIDICLOutputPort::WithdrawPending(MIDICLTimeStamp inTime) {
    mHostPort->WithdrawPending(inTime);
}

void MIDICLOutputPort::Flush() {
    mHostPort->Flush();
}

std::int32_t MIDICLOutputPort::GetConnectStatus() const {
    return mHostPort->GetConnectStatus();
}

void MIDICLOutputPort::SetDestination(int inIndex) {
    SetDestination(mHost->GetDestination(inIndex));
}

void MIDICLOutputPort::SetDestination(MIDICLEndpointRef inDestination) {
    mDestination = inDestination;
    std::string name;
    if (inDestination.IsValid() && mHost->GetEndpointName(inDestination, name)) {
        mWantedDestination = name;
    }
    mHostPort->Connect(inDestination);
}

std::vector<MIDICLConnection> MIDICLOutputPort::GetConnections() const {
    return mHostPort->GetConnections();
}

// A port the new host refuses stays where it was, and the refusal is
// thrown.
void MIDICLOutputPort::MoveTo(const std::shared_ptr<MIDICLHost>& inHost) {
    std::unique_ptr<MIDICLHostOutput> moved = inHost->CreateOutputPort(mName);
    mHostPort = std::move(moved);
    mHost = inHost;
    mDestination = MIDICLEndpointRef{};
}

std::uint8_t MIDICLOutputPort::ChannelStatus(int inMessage, std::uint8_t inChannel) const {
    return static_cast<std::uint8_t>((inMessage & 0xFF) | inChannel);
}

void MIDICLOutputPort::SendNoteOff(std::uint8_t inChannel, std::uint8_t inKey,
                                   std::uint8_t inVelocity, MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp, ChannelStatus(MIDICLClient::kMIDINoteOffMessage, inChannel),
                      inKey, inVelocity);
}

void MIDICLOutputPort::SendNoteOn(std::uint8_t inChannel, std::uint8_t inKey,
                                  std::uint8_t inVelocity, MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp, ChannelStatus(MIDICLClient::kMIDINoteOnMessage, inChannel),
                      inKey, inVelocity);
}

std::int32_t MIDICLOutputPort::TrySendNoteOff(std::uint8_t inChannel, std::uint8_t inKey,
                                              std::uint8_t inVelocity,
                                              MIDICLTimeStamp inTimeStamp) {
    return TrySendThreeBytes(inTimeStamp,
                             ChannelStatus(MIDICLClient::kMIDINoteOffMessage, inChannel), inKey,
                             inVelocity);
}

std::int32_t MIDICLOutputPort::TrySendNoteOn(std::uint8_t inChannel, std::uint8_t inKey,
                                             std::uint8_t inVelocity, MIDICLTimeStamp inTimeStamp) {
    return TrySendThreeBytes(
        inTimeStamp, ChannelStatus(MIDICLClient::kMIDINoteOnMessage, inChannel), inKey, inVelocity);
}

std::int32_t MIDICLOutputPort::TrySendThreeBytes(MIDICLTimeStamp inTimeStamp, std::uint8_t inOne,
                                                 std::uint8_t inTwo, std::uint8_t inThree) {
    const std::uint8_t bytes[3] = {inOne, inTwo, inThree};
    return TrySendBytes(bytes, sizeof bytes, inTimeStamp);
}

// A short message always fits an empty list, so only the host can refuse.
std::int32_t MIDICLOutputPort::TrySendBytes(const std::uint8_t* inBytes, std::size_t inLength,
                                            MIDICLTimeStamp inTimeStamp) {
    MIDICLPacketList list;
    list.Add(inTimeStamp, inBytes, inLength);
    return mHostPort->Send(list);
}

void MIDICLOutputPort::SendPolyAftertouch(std::uint8_t inChannel, std::uint8_t inKey,
                                          std::uint8_t inPressure, MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp,
                      ChannelStatus(MIDICLClient::kMIDIPolyAftertouchMessage, inChannel), inKey,
                      inPressure);
}

void MIDICLOutputPort::SendControlChange(std::uint8_t inChannel, std::uint8_t inControl,
                                         std::uint8_t inValue, MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp,
                      ChannelStatus(MIDICLClient::kMIDIControlChangeMessage, inChannel), inControl,
                      inValue);
}

void MIDICLOutputPort::SendProgramChange(std::uint8_t inChannel, std::uint8_t inProgram,
                                         MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp,
                      ChannelStatus(MIDICLClient::kMIDIProgramChangeMessage, inChannel), inProgram);
}

std::int32_t MIDICLOutputPort::TrySendProgramChange(std::uint8_t inChannel, std::uint8_t inProgram,
                                                    MIDICLTimeStamp inTimeStamp) {
    const std::uint8_t bytes[2] = {
        ChannelStatus(MIDICLClient::kMIDIProgramChangeMessage, inChannel), inProgram};
    return TrySendBytes(bytes, sizeof bytes, inTimeStamp);
}

void MIDICLOutputPort::SendChannelAftertouch(std::uint8_t inChannel, std::uint8_t inPressure,
                                             MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp,
                      ChannelStatus(MIDICLClient::kMIDIChannelAftertouchMessage, inChannel),
                      inPressure);
}

void MIDICLOutputPort::SendPitchBend(std::uint8_t inChannel, std::uint8_t inLSB, std::uint8_t inMSB,
                                     MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp, ChannelStatus(MIDICLClient::kMIDIPitchBendMessage, inChannel),
                      inLSB, inMSB);
}

void MIDICLOutputPort::SendClock(MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp, static_cast<std::uint8_t>(MIDICLClient::kMIDIClockMessage));
}

void MIDICLOutputPort::SendStart(MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp, static_cast<std::uint8_t>(MIDICLClient::kMIDIStartMessage));
}

void MIDICLOutputPort::SendContinue(MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp, static_cast<std::uint8_t>(MIDICLClient::kMIDIContinueMessage));
}

void MIDICLOutputPort::SendStop(MIDICLTimeStamp inTimeStamp) {
    SendSmallPacketAt(inTimeStamp, static_cast<std::uint8_t>(MIDICLClient::kMIDIStopMessage));
}

std::int32_t MIDICLOutputPort::TrySendRealTime(std::uint8_t inStatus, MIDICLTimeStamp inTimeStamp) {
    return TrySendBytes(&inStatus, 1, inTimeStamp);
}

std::int32_t MIDICLOutputPort::TrySendMessage(const std::uint8_t* inBytes, std::size_t inLength,
                                              MIDICLTimeStamp inTimeStamp) {
    return TrySendBytes(inBytes, inLength, inTimeStamp);
}

std::int32_t MIDICLOutputPort::TrySendSongPosition(std::uint16_t inBeats,
                                                   MIDICLTimeStamp inTimeStamp) {
    const std::uint8_t bytes[3] = {0xF2, static_cast<std::uint8_t>(inBeats & 0x7F),
                                   static_cast<std::uint8_t>((inBeats >> 7) & 0x7F)};
    return TrySendBytes(bytes, sizeof bytes, inTimeStamp);
}

void MIDICLOutputPort::SendSmallPacket(std::uint8_t inOne) {
    SendSmallPacketAt(0, inOne);
}

void MIDICLOutputPort::SendSmallPacket(std::uint8_t inOne, std::uint8_t inTwo) {
    SendSmallPacketAt(0, inOne, inTwo);
}

void MIDICLOutputPort::SendSmallPacket(std::uint8_t inOne, std::uint8_t inTwo,
                                       std::uint8_t inThree) {
    SendSmallPacketAt(0, inOne, inTwo, inThree);
}

void MIDICLOutputPort::SendSmallPacketAt(MIDICLTimeStamp inTimeStamp, std::uint8_t inOne) {
    const std::uint8_t bytes[1] = {inOne};
    SendBytes(bytes, sizeof bytes, inTimeStamp);
}

void MIDICLOutputPort::SendSmallPacketAt(MIDICLTimeStamp inTimeStamp, std::uint8_t inOne,
                                         std::uint8_t inTwo) {
    const std::uint8_t bytes[2] = {inOne, inTwo};
    SendBytes(bytes, sizeof bytes, inTimeStamp);
}

void MIDICLOutputPort::SendSmallPacketAt(MIDICLTimeStamp inTimeStamp, std::uint8_t inOne,
                                         std::uint8_t inTwo, std::uint8_t inThree) {
    const std::uint8_t bytes[3] = {inOne, inTwo, inThree};
    SendBytes(bytes, sizeof bytes, inTimeStamp);
}

void MIDICLOutputPort::SendBytes(const std::uint8_t* inBytes, std::size_t inLength,
                                 MIDICLTimeStamp inTimeStamp) {
    MIDICLPacketList list;
    if (!list.Add(inTimeStamp, inBytes, inLength)) {
        throw MIDICLException(MIDICLException::kMIDIPacketListAdd, 0);
    }
    Send(list);
}

void MIDICLOutputPort::SendPacketList(const MIDICLPacketList* inPacketList) {
    Send(*inPacketList);
}

void MIDICLOutputPort::Send(const MIDICLPacketList& inList) {
    const std::int32_t status = mHostPort->Send(inList);
    if (status != 0) {
        throw MIDICLException(MIDICLException::kMIDISend, status);
    }
}

void MIDICLOutputPort::SendSysEx(const std::uint8_t* inBuffer, std::uint32_t inLength,
                                 MIDICLTimeStamp inTimeStamp) {
    mSysExBuffer = inBuffer;
    const std::int32_t status =
        mHostPort->SendSysEx(inBuffer, inLength, inTimeStamp, SysExCompletionProc, this);
    if (status != 0) {
        SendSysExCompleted();
        throw MIDICLException(MIDICLException::kMIDISendSysEx, status);
    }
}

void MIDICLOutputPort::SendSysExCompleted() {
    delete[] mSysExBuffer;
    mSysExBuffer = nullptr;
}

void MIDICLOutputPort::SysExCompletionProc(void* inRefCon) {
    static_cast<MIDICLOutputPort*>(inRefCon)->SendSysExCompleted();
}

bool MIDICLOutputPort::GetDestinationName(char* outName, std::size_t inSize) const {
    std::string name;
    const bool exists = mDestination.IsValid() && mHost->GetEndpointName(mDestination, name);
    MIDICLNameBuffer::Copy(exists ? name : std::string(), outName, inSize);
    return exists;
}
