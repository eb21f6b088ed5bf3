#include "hosts/jack/MIDICLJackInput.h"

#include <jack/midiport.h>

#include <algorithm>

#include "hosts/jack/MIDICLJackHost.h"

MIDICLJackInput::MIDICLJackInput(const std::shared_ptr<MIDICLJackHost>& inHost, jack_port_t* inPort,
                                 MIDICLReadProc inReadProc, void* inRefCon)
    : mHost(inHost), mPort(inPort), mReadProc(inReadProc), mRefCon(inRefCon) {}

// Out of the table first, so that the process callback has let go of us
// before the port (and then our owner) goes away.
MIDICLJackInput::~MIDICLJackInput() {
    mHost->GetReceivers().Remove(this);
    mHost->UnregisterPort(mPort);
}

// Whoever then says the source is listened to says it once its messages
// come in: a connection carries them from the first cycle that runs with it,
// which may be some cycles after the server took it (PipeWire, loaded).
void MIDICLJackInput::ConnectSource(MIDICLEndpointRef inSource) {
    mSeenLive.store(false);
    mConnecting =
        inSource.IsValid() && !mHost->IsClosed() &&
        jack_connect(mHost->GetClient(), jack_port_name(MIDICLJackHost::GetPort(inSource)),
                     jack_port_name(mPort)) == 0;
    if (mConnecting) {
        mHost->GraphChanged();
        mHost->WaitForConnections();
        mConnecting = false;
    }
}

bool MIDICLJackInput::IsConnectionLive() const {
    return !mConnecting || mHost->IsClosed() || mSeenLive.load();
}

void MIDICLJackInput::WatchConnection() {
    mSeenLive.store(jack_port_connected(mPort) > 0, std::memory_order_relaxed);
}

bool MIDICLJackInput::IsConnectedTo(MIDICLEndpointRef inSource) const {
    return inSource.IsValid() && !mHost->IsClosed() &&
           jack_port_connected_to(mPort, jack_port_name(MIDICLJackHost::GetPort(inSource))) != 0;
}

MIDICLEndpointRef MIDICLJackInput::GetEndpoint() const {
    return MIDICLJackHost::MakeEndpoint(mPort);
}

void MIDICLJackInput::Process(jack_nframes_t inFrames, std::uint64_t inCycleStart) const {
    void* buffer = jack_port_get_buffer(mPort, inFrames);
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0) {
            continue;
        }
        // Stamped on the host's clock, the frame it arrived at.
        const MIDICLTimeStamp stamp = inCycleStart + event.time;
        // Long messages arrive in several lists, each as full as a list gets.
        for (std::size_t offset = 0; offset < event.size; offset += MIDICLPacketList::kMaxBytes) {
            MIDICLPacketList list;
            list.Add(stamp, event.buffer + offset,
                     std::min(event.size - offset, MIDICLPacketList::kMaxBytes));
            mReadProc(list, mRefCon);
        }
    }
}
