#include "MIDICLInputPort.h"

#include "MIDICLInputPortListener.h"
#include "hosts/MIDICLHost.h"

MIDICLInputPort::MIDICLInputPort(const std::shared_ptr<MIDICLHost>& inHost,
                                 const std::string& inName)
    : mListener(nullptr),
      mHost(inHost),
      mPortRef(inHost->CreateInputPort(inName, ReadProc, this)) {}

MIDICLInputPort::~MIDICLInputPort() = default;

void MIDICLInputPort::SetListener(MIDICLInputPortListener* inListener) {
    mListener.store(inListener, std::memory_order_release);
}

void MIDICLInputPort::SetSource(MIDICLEndpointRef inSource) {
    mPortRef->ConnectSource(inSource);
}

bool MIDICLInputPort::IsConnectedTo(MIDICLEndpointRef inSource) const {
    return mPortRef->IsConnectedTo(inSource);
}

MIDICLClock& MIDICLInputPort::GetClock() const {
    return mHost->GetClock();
}

void MIDICLInputPort::ReadProc(const MIDICLPacketList& inList, void* inReadProcRefCon) {
    auto* port = static_cast<MIDICLInputPort*>(inReadProcRefCon);
    MIDICLInputPortListener* listener = port->mListener.load(std::memory_order_acquire);
    if (listener != nullptr) {
        listener->Hear(&inList);
    }
}
