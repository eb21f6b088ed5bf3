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

    // One source at a time: the test sources are all there is.
    void ConnectSource(MIDICLEndpointRef inSource) override;
    MIDICLEndpointRef GetEndpoint() const override;

private:
    std::shared_ptr<MIDICLBuiltinHost> mHost;
    std::shared_ptr<MIDICLBuiltinEndpoint> mEndpoint;
};
