#pragma once

#include <memory>

#include "hosts/MIDICLHostInput.h"
#include "hosts/builtin/MIDICLBuiltinEndpoint.h"

class MIDICLBuiltinHost;

// A receiving endpoint of the built-in host; closing it on destruction keeps
// late senders away from its owner.
class MIDICLBuiltinInput : public MIDICLHostInput {
public:
    MIDICLBuiltinInput(const std::shared_ptr<MIDICLBuiltinHost>& inHost,
                       const std::shared_ptr<MIDICLBuiltinEndpoint>& inEndpoint);
    ~MIDICLBuiltinInput() override;

    // The built-in host has no sources, so there is nothing to connect.
    void ConnectSource(MIDICLEndpointRef) override {}
    MIDICLEndpointRef GetEndpoint() const override;

private:
    std::shared_ptr<MIDICLBuiltinHost> mHost;
    std::shared_ptr<MIDICLBuiltinEndpoint> mEndpoint;
};
