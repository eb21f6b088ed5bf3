#include "hosts/builtin/MIDICLBuiltinOutput.h"

#include <algorithm>

#include "MIDICLException.h"
#include "hosts/builtin/MIDICLBuiltinHost.h"

MIDICLBuiltinOutput::MIDICLBuiltinOutput(const std::shared_ptr<MIDICLBuiltinHost>& inHost)
    : mHost(inHost), mTargetOwner(), mTarget(nullptr) {}

void MIDICLBuiltinOutput::Connect(MIDICLEndpointRef inDestination) {
    mTargetOwner = mHost->FindEndpoint(inDestination);
    mTarget.store(mTargetOwner.get());
    mTargetRef = inDestination;
}

// The one endpoint it points at, while that exists.
std::vector<MIDICLConnection> MIDICLBuiltinOutput::GetConnections() const {
    std::string name;
    if (!mTargetRef.IsValid() || !mHost->GetEndpointName(mTargetRef, name)) {
        return {};
    }
    return {MIDICLConnection{name, mHost->IsOwnEndpoint(mTargetRef)}};
}

std::int32_t MIDICLBuiltinOutput::Send(const MIDICLPacketList& inList) {
    const std::int32_t fault = mHost->TakeFault(MIDICLException::kMIDISend);
    if (fault != 0) {
        return fault;
    }
    MIDICLBuiltinEndpoint* target = mTarget.load();
    if (target != nullptr) {
        target->Deliver(inList);
    }
    return 0;
}

std::int32_t MIDICLBuiltinOutput::SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                                            MIDICLTimeStamp inTimeStamp, MIDICLSysExDoneProc inDone,
                                            void* inRefCon) {
    const std::int32_t fault = mHost->TakeFault(MIDICLException::kMIDISendSysEx);
    if (fault != 0) {
        return fault;
    }
    MIDICLBuiltinEndpoint* target = mTarget.load();
    // Long messages arrive in several lists, as from a host with a small
    // packet buffer.
    for (std::size_t offset = 0; target != nullptr && offset < inLength;) {
        const std::size_t chunk = std::min(inLength - offset, MIDICLPacketList::kMaxBytes);
        MIDICLPacketList list;
        list.Add(inTimeStamp, inData + offset, chunk);
        target->Deliver(list);
        offset += chunk;
    }
    if (mHost->DefersSysExCompletion()) {
        MIDICLBuiltinHost::DeferSysExCompletion(inDone, inRefCon);
    } else {
        inDone(inRefCon);
    }
    return 0;
}
