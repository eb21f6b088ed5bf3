#include "MIDICLOutputPort.h"

#include "MIDICLClient.h"
#include "MIDICLException.h"
#include "hosts/MIDICLHost.h"

MIDICLOutputPort::MIDICLOutputPort(const std::shared_ptr<MIDICLHost>& inHost,
                                   const std::string& inName)
    : mSysExBuffer(nullptr),
      mDestination(),
      mHost(inHost),
      mHostPort(inHost->CreateOutputPort(inName)) {}

MIDICLOutputPort::~MIDICLOutputPort() = default;

void MIDICLOutputPort::SetDestination(int inIndex) {
    SetDestination(mHost->GetDestination(inIndex));
}

void MIDICLOutputPort::SetDestination(MIDICLEndpointRef inDestination) {
    mDestination = inDestination;
    mHostPort->Connect(inDestination);
}

std::uint8_t MIDICLOutputPort::ChannelStatus(int inMessage, std::uint8_t inChannel) const {
    return static_cast<std::uint8_t>((inMessage & 0xFF) | inChannel);
}

void MIDICLOutputPort::SendNoteOff(std::uint8_t inChannel, std::uint8_t inKey,
                                   std::uint8_t inVelocity, MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(ChannelStatus(MIDICLClient::kMIDINoteOffMessage, inChannel), inKey, inVelocity,
                    inTimeStamp);
}

void MIDICLOutputPort::SendNoteOn(std::uint8_t inChannel, std::uint8_t inKey,
                                  std::uint8_t inVelocity, MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(ChannelStatus(MIDICLClient::kMIDINoteOnMessage, inChannel), inKey, inVelocity,
                    inTimeStamp);
}

void MIDICLOutputPort::SendPolyAftertouch(std::uint8_t inChannel, std::uint8_t inKey,
                                          std::uint8_t inPressure, MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(ChannelStatus(MIDICLClient::kMIDIPolyAftertouchMessage, inChannel), inKey,
                    inPressure, inTimeStamp);
}

void MIDICLOutputPort::SendControlChange(std::uint8_t inChannel, std::uint8_t inControl,
                                         std::uint8_t inValue, MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(ChannelStatus(MIDICLClient::kMIDIControlChangeMessage, inChannel), inControl,
                    inValue, inTimeStamp);
}

void MIDICLOutputPort::SendProgramChange(std::uint8_t inChannel, std::uint8_t inProgram,
                                         MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(ChannelStatus(MIDICLClient::kMIDIProgramChangeMessage, inChannel), inProgram,
                    inTimeStamp);
}

void MIDICLOutputPort::SendChannelAftertouch(std::uint8_t inChannel, std::uint8_t inPressure,
                                             MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(ChannelStatus(MIDICLClient::kMIDIChannelAftertouchMessage, inChannel),
                    inPressure, inTimeStamp);
}

void MIDICLOutputPort::SendPitchBend(std::uint8_t inChannel, std::uint8_t inLSB, std::uint8_t inMSB,
                                     MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(ChannelStatus(MIDICLClient::kMIDIPitchBendMessage, inChannel), inLSB, inMSB,
                    inTimeStamp);
}

void MIDICLOutputPort::SendClock(MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(static_cast<std::uint8_t>(MIDICLClient::kMIDIClockMessage), inTimeStamp);
}

void MIDICLOutputPort::SendStart(MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(static_cast<std::uint8_t>(MIDICLClient::kMIDIStartMessage), inTimeStamp);
}

void MIDICLOutputPort::SendContinue(MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(static_cast<std::uint8_t>(MIDICLClient::kMIDIContinueMessage), inTimeStamp);
}

void MIDICLOutputPort::SendStop(MIDICLTimeStamp inTimeStamp) {
    SendSmallPacket(static_cast<std::uint8_t>(MIDICLClient::kMIDIStopMessage), inTimeStamp);
}

void MIDICLOutputPort::SendSmallPacket(std::uint8_t inOne, MIDICLTimeStamp inTimeStamp) {
    const std::uint8_t bytes[1] = {inOne};
    SendBytes(bytes, sizeof bytes, inTimeStamp);
}

void MIDICLOutputPort::SendSmallPacket(std::uint8_t inOne, std::uint8_t inTwo,
                                       MIDICLTimeStamp inTimeStamp) {
    const std::uint8_t bytes[2] = {inOne, inTwo};
    SendBytes(bytes, sizeof bytes, inTimeStamp);
}

void MIDICLOutputPort::SendSmallPacket(std::uint8_t inOne, std::uint8_t inTwo, std::uint8_t inThree,
                                       MIDICLTimeStamp inTimeStamp) {
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
