#pragma once

#include <alsa/asoundlib.h>

#include <memory>

#include "hosts/MIDICLHostOutput.h"

class MIDICLAlsaHost;

// A readable port of our sequencer client, subscribed to its destination.
// Events go out directly, not through a queue, and are addressed to the
// destination itself, so they arrive even where the subscription was refused.
// A note-off waits briefly for room in a full output pool; what was sent is
// delivered before the port is deleted.
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
    static bool IsNoteOff(const std::uint8_t* inData, std::size_t inLength);
    int OutputDirect(snd_seq_event_t& ioEvent, bool inMustGo);
    void Disconnect();

    std::shared_ptr<MIDICLAlsaHost> mHost;
    const int mPort;
    bool mConnected;
    int mDestinationClient;
    int mDestinationPort;
};
