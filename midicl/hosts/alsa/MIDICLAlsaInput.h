#pragma once

#include <memory>

#include "hosts/MIDICLHostInput.h"
#include "hosts/MIDICLReadProc.h"

class MIDICLAlsaHost;

// A writable port of our sequencer client: a virtual destination when others
// may subscribe to it, an input port when only we connect sources to it.
class MIDICLAlsaInput : public MIDICLHostInput {
public:
    MIDICLAlsaInput(const std::shared_ptr<MIDICLAlsaHost>& inHost, int inPort,
                    MIDICLReadProc inReadProc, void* inRefCon);
    ~MIDICLAlsaInput() override;

    void ConnectSource(MIDICLEndpointRef inSource) override;
    bool IsConnectedTo(MIDICLEndpointRef inSource) const override;
    MIDICLEndpointRef GetEndpoint() const override;

    int GetPort() const { return mPort; }
    void Receive(const MIDICLPacketList& inList) const { mReadProc(inList, mRefCon); }

private:
    std::shared_ptr<MIDICLAlsaHost> mHost;
    const int mPort;
    const MIDICLReadProc mReadProc;
    void* const mRefCon;
};
