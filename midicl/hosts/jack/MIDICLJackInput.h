#pragma once

#include <jack/jack.h>

#include <atomic>
#include <memory>

#include "hosts/MIDICLHostInput.h"
#include "hosts/MIDICLReadProc.h"

class MIDICLJackHost;

// A MIDI input port of our JACK client: an input port or a virtual
// destination alike, since JACK lists every input port as a destination.
class MIDICLJackInput : public MIDICLHostInput {
public:
    MIDICLJackInput(const std::shared_ptr<MIDICLJackHost>& inHost, jack_port_t* inPort,
                    MIDICLReadProc inReadProc, void* inRefCon);
    ~MIDICLJackInput() override;

    // Returns once the connection carries messages (or after a second).
    void ConnectSource(MIDICLEndpointRef inSource) override;
    bool IsConnectedTo(MIDICLEndpointRef inSource) const override;
    MIDICLEndpointRef GetEndpoint() const override;
    // As MIDICLJackOutput's, for the source being connected.
    bool IsConnectionLive() const;
    void WatchConnection();

    // For the process callback: hands this cycle's events to the owner.
    void Process(jack_nframes_t inFrames, std::uint64_t inCycleStart) const;

private:
    std::shared_ptr<MIDICLJackHost> mHost;
    jack_port_t* const mPort;
    const MIDICLReadProc mReadProc;
    void* const mRefCon;
    bool mConnecting = false;
    std::atomic<bool> mSeenLive{false};
};
