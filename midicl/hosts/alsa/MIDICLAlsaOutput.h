#pragma once

#include <memory>

#include "hosts/MIDICLHostOutput.h"

class MIDICLAlsaHost;

// A readable port of our sequencer client, subscribed to its destination.
// Events go out directly, not through a queue, and are addressed to the
// destination itself, so they arrive even where the subscription was refused.
class MIDICLAlsaOutput : public MIDICLHostOutput {
public:
    MIDICLAlsaOutput(const std::shared_ptr<MIDICLAlsaHost>& inHost, int inPort);
    ~MIDICLAlsaOutput() override;

    void Connect(MIDICLEndpointRef inDestination) override;
    std::int32_t Send(const MIDICLPacketList& inList) override;
    std::int32_t SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                           MIDICLTimeStamp inTimeStamp, MIDICLSysExDoneProc inDone,
                           void* inRefCon) override;

private:
    std::int32_t SendBytes(const std::uint8_t* inData, std::size_t inLength);
    void Disconnect();

    std::shared_ptr<MIDICLAlsaHost> mHost;
    const int mPort;
    bool mConnected;
    int mDestinationClient;
    int mDestinationPort;
};
