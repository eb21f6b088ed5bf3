#pragma once

#include "MIDICLTypes.h"

// The host side of a receiving endpoint: an input port or a virtual
// destination. Destroying it guarantees that its read procedure is not running
// and will not be called again.
class MIDICLHostInput {
public:
    virtual ~MIDICLHostInput() = default;

    // Connects a source to this endpoint; the host's status is not reported.
    virtual void ConnectSource(MIDICLEndpointRef inSource) = 0;
    // Whether inSource is connected to this endpoint now: a source that went
    // and came back under the same handle is not, until connected again.
    // Hosts that cannot tell say true.
    virtual bool IsConnectedTo(MIDICLEndpointRef) const { return true; }
    // How others (this process's output ports included) address this endpoint.
    virtual MIDICLEndpointRef GetEndpoint() const = 0;
};
