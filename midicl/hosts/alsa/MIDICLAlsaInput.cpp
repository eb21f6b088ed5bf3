#include "hosts/alsa/MIDICLAlsaInput.h"

#include "hosts/alsa/MIDICLAlsaCodec.h"
#include "hosts/alsa/MIDICLAlsaHost.h"

MIDICLAlsaInput::MIDICLAlsaInput(const std::shared_ptr<MIDICLAlsaHost>& inHost, int inPort,
                                 MIDICLReadProc inReadProc, void* inRefCon)
    : mHost(inHost), mPort(inPort), mReadProc(inReadProc), mRefCon(inRefCon) {}

// Out of the table first, so that the input thread has let go of us before
// the port (and then our owner) goes away.
MIDICLAlsaInput::~MIDICLAlsaInput() {
    mHost->GetReceivers().Remove(this);
    snd_seq_delete_simple_port(mHost->GetSequencer(), mPort);
}

void MIDICLAlsaInput::ConnectSource(MIDICLEndpointRef inSource) {
    int client = 0;
    int port = 0;
    if (MIDICLAlsaCodec::SplitEndpoint(inSource, client, port)) {
        snd_seq_connect_from(mHost->GetSequencer(), mPort, client, port);
    }
}

bool MIDICLAlsaInput::IsConnectedTo(MIDICLEndpointRef inSource) const {
    int client = 0;
    int port = 0;
    if (!MIDICLAlsaCodec::SplitEndpoint(inSource, client, port)) {
        return false;
    }
    for (const snd_seq_addr_t& address : mHost->GetSubscribers(mPort, SND_SEQ_QUERY_SUBS_WRITE)) {
        if (address.client == client && address.port == port) {
            return true;
        }
    }
    return false;
}

MIDICLEndpointRef MIDICLAlsaInput::GetEndpoint() const {
    return MIDICLAlsaCodec::MakeEndpoint(mHost->GetClientId(), mPort);
}
