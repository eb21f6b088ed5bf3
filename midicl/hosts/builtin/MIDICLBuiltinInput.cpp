#include "hosts/builtin/MIDICLBuiltinInput.h"

#include "hosts/builtin/MIDICLBuiltinHost.h"

MIDICLBuiltinInput::MIDICLBuiltinInput(const std::shared_ptr<MIDICLBuiltinHost>& inHost,
                                       const std::shared_ptr<MIDICLBuiltinEndpoint>& inEndpoint)
    : mHost(inHost), mEndpoint(inEndpoint) {}

MIDICLBuiltinInput::~MIDICLBuiltinInput() {
    mEndpoint->Close();
    mHost->RemoveEndpoint(mEndpoint.get());
}

void MIDICLBuiltinInput::ConnectSource(MIDICLEndpointRef inSource) {
    if (MIDICLBuiltinHost::IsTestSource(inSource)) {
        mEndpoint->SetSource(inSource.mValue);
    }
}

MIDICLEndpointRef MIDICLBuiltinInput::GetEndpoint() const {
    return MIDICLEndpointRef{mEndpoint->GetId()};
}
