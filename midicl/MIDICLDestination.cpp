#include "MIDICLDestination.h"

#include "MIDICLInputPortListener.h"
#include "hosts/MIDICLHost.h"

MIDICLDestination::MIDICLDestination(const std::shared_ptr<MIDICLHost>& inHost,
                                     const std::string& inName)
    : mListener(nullptr), mDestinationRef(inHost->CreateDestination(inName, ReadProc, this)) {}

MIDICLDestination::~MIDICLDestination() = default;

void MIDICLDestination::SetListener(MIDICLInputPortListener* inListener) {
    mListener.store(inListener, std::memory_order_release);
}

MIDICLEndpointRef MIDICLDestination::GetEndpoint() const {
    return mDestinationRef->GetEndpoint();
}

void MIDICLDestination::ReadProc(const MIDICLPacketList& inList, void* inReadProcRefCon) {
    auto* destination = static_cast<MIDICLDestination*>(inReadProcRefCon);
    MIDICLInputPortListener* listener = destination->mListener.load(std::memory_order_acquire);
    if (listener != nullptr) {
        listener->Hear(&inList);
    }
}
