#pragma once

#include <atomic>
#include <memory>

#include "hosts/MIDICLHostOutput.h"
#include "hosts/builtin/MIDICLBuiltinEndpoint.h"

class MIDICLBuiltinHost;

// An output port of the built-in host: hands each packet list, time stamps
// untouched, to the endpoint it points at, or drops it when there is none.
class MIDICLBuiltinOutput : public MIDICLHostOutput {
public:
    explicit MIDICLBuiltinOutput(const std::shared_ptr<MIDICLBuiltinHost>& inHost);

    void Connect(MIDICLEndpointRef inDestination) override;
    std::vector<MIDICLConnection> GetConnections() const override;
    std::int32_t Send(const MIDICLPacketList& inList) override;
    std::int32_t SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                           MIDICLTimeStamp inTimeStamp, MIDICLSysExDoneProc inDone,
                           void* inRefCon) override;

private:
    std::shared_ptr<MIDICLBuiltinHost> mHost;
    // The shared pointer keeps the endpoint's memory alive after its owner
    // closed it; the raw pointer is what senders read.
    std::shared_ptr<MIDICLBuiltinEndpoint> mTargetOwner;
    std::atomic<MIDICLBuiltinEndpoint*> mTarget;
    MIDICLEndpointRef mTargetRef;
};
