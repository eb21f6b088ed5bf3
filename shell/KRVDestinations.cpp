#include "KRVDestinations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "KRVMIDIFailure.h"
#include "KRVSequencer.h"
#include "KRVShellInterface.h"
#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLException.h"
#include "MIDICLOutputPort.h"

namespace {

constexpr const char* kDummyName = "KRVShell dummy destination";

std::string PortLine(const char* inWhat, int inPort, const char* inName) {
    return std::string(inWhat) + std::to_string(inPort) + " is " + inName + "\n";
}

}  // namespace

KRVDestinations::KRVDestinations(std::unique_ptr<MIDICLClient> inClient, KRVSequencer& ioSequencer)
    : mClient(std::move(inClient)), mSequencer(ioSequencer) {}

KRVDestinations::~KRVDestinations() {
    mClient.reset();
    mDummy.reset();
}

// Port i of the sequence plays to destination i. With no destination at all
// we first make one of our own, so that the program runs anywhere.
void KRVDestinations::SetUp() {
    int numDestinations = mClient->GetNumberOfDestinations();
    std::printf("KRVShell: found %d MIDI destinations\n", numDestinations);
    if (numDestinations == 0) {
        std::printf("KRVShell: no MIDI destinations found, making a dummy one\n");
        mDummy.reset(mClient->MakeDestination(kDummyName));
        numDestinations = mClient->GetNumberOfDestinations();
    }
    // A host serves so many ports; the destinations past them get none.
    const int numPorts = std::min(numDestinations, mClient->GetMaxOutputPorts());
    for (int i = 0; i < numPorts; i++) {
        char name[MIDICLClient::kNameBufferSize];
        mClient->GetDestinationName(i, name, sizeof name);
        std::printf("KRVShell: output port %d is %s\n", i, name);
        AddPort(i);
        if (const int status = mSequencer.GetPort(i)->GetConnectStatus(); status != 0) {
            std::printf("KRVShell: output port %d could not connect to %s: %s\n", i, name,
                        KRVMIDIFailure::DescribeStatus(status).c_str());
        }
    }
    if (numPorts < numDestinations) {
        std::printf("KRVShell: %d MIDI destinations left out, %d ports at most\n",
                    numDestinations - numPorts, numPorts);
    }
    // What was there at start-up is no news at the first prompt.
    mClient->TakeDestinationsChanged();
    // A note played at once must not go out before its connection holds.
    mClient->WaitForConnections();
}

void KRVDestinations::AddPort(int inIndex) {
    std::unique_ptr<MIDICLOutputPort> port(mClient->MakeOutputPort("output"));
    port->SetDestination(mClient->GetDestination(inIndex));
    mSequencer.AddPort(port.release());
}

void KRVDestinations::Refresh(KRVShellInterface& ioOut, bool inLookAnyway) {
    if (mClient->IsHostGone() && !ComeBack(ioOut)) {
        return;
    }
    if (mClient->TakeDestinationsChanged()) {
        FollowDestinations(ioOut);
    } else if (inLookAnyway) {
        FollowDestinations(ioOut, false);
    }
}

// The server is back: the ports move to a new client of the same name and
// find their destinations again by name. Playback cannot go on on ports
// that move, so it stops and starts again.
bool KRVDestinations::ComeBack(KRVShellInterface& ioOut) {
    if (!mClient->Reopen()) {
        return false;
    }
    const bool playing = mSequencer.IsPlaying();
    mSequencer.Stop();
    try {
        if (mDummy) {
            mDummy.reset();
            mDummy.reset(mClient->MakeDestination(kDummyName));
        }
        for (int i = 0; i < mSequencer.GetPortCount(); i++) {
            mClient->AdoptPort(*mSequencer.GetPort(i));
        }
    } catch (const MIDICLException& exception) {
        ioOut.Write(("krv: the MIDI server is back, but " +
                     KRVMIDIFailure::Describe(exception, mClient->GetHostName()) + "\n")
                        .c_str());
        return false;
    }
    ioOut.Write("krv: the JACK server is back, MIDI output restarted\n");
    FollowDestinations(ioOut);
    if (playing) {
        mSequencer.Play();
    }
    return true;
}

// Each destination is either one a port wants (connected again when the
// port is not connected to it, with inReconnect), one of our own (left
// alone), or new (a new port at the end, while the host serves more).
void KRVDestinations::FollowDestinations(KRVShellInterface& ioOut, bool inReconnect) {
    bool connected = false;
    const int count = mClient->GetNumberOfDestinations();
    for (int i = 0; i < count; i++) {
        char name[MIDICLClient::kNameBufferSize];
        if (!mClient->GetDestinationName(i, name, sizeof name)) {
            continue;
        }
        const int port = FindPortWanting(name);
        if (port >= 0) {
            if (NeedsConnecting(port, name, inReconnect)) {
                mSequencer.SetPortDestination(port, mClient->GetDestination(i));
                ioOut.Write(PortLine("krv: MIDI destination back: port ", port, name).c_str());
                connected = true;
            }
            continue;
        }
        if (mClient->IsOwnDestination(i) ||
            mSequencer.GetPortCount() >= mClient->GetMaxOutputPorts()) {
            continue;
        }
        AddPort(i);
        ioOut.Write(
            PortLine("krv: new MIDI destination: port ", mSequencer.GetPortCount() - 1, name)
                .c_str());
        connected = true;
    }
    TellGone(ioOut);
    if (connected) {
        mClient->WaitForConnections();
    }
}

// Once per departure: a port whose destination is back may lose it again.
void KRVDestinations::TellGone(KRVShellInterface& ioOut) {
    mToldGone.resize(static_cast<std::size_t>(mSequencer.GetPortCount()), false);
    for (int i = 0; i < mSequencer.GetPortCount(); i++) {
        char name[MIDICLClient::kNameBufferSize];
        const MIDICLOutputPort* port = mSequencer.GetPort(i);
        const bool gone =
            !port->GetWantedDestination().empty() && !port->GetDestinationName(name, sizeof name);
        if (gone && !mToldGone[i]) {
            ioOut.Write(("krv: MIDI destination gone: port " + std::to_string(i) + " (" +
                         port->GetWantedDestination() + ") plays nowhere until it is back\n")
                            .c_str());
        }
        mToldGone[i] = gone;
    }
}

int KRVDestinations::FindPortWanting(const char* inName) const {
    for (int i = 0; i < mSequencer.GetPortCount(); i++) {
        if (mSequencer.GetPort(i)->GetWantedDestination() == inName) {
            return i;
        }
    }
    return -1;
}

// A destination that came back may have a new handle, or the old one (JACK
// hands out a freed port's again); either way the port is connected to it
// no more. One that refused the port's subscription is not asked again.
// Without inReconnect a port still pointing at it is connected again only
// when it was said to be gone: a connection merely undone from outside is
// the user's doing until the next change.
bool KRVDestinations::NeedsConnecting(int inPort, const char* inName, bool inReconnect) const {
    const MIDICLOutputPort& port = *mSequencer.GetPort(inPort);
    char current[MIDICLClient::kNameBufferSize];
    if (!port.GetDestinationName(current, sizeof current) || std::strcmp(current, inName) != 0) {
        return true;
    }
    const auto told = static_cast<std::size_t>(inPort);
    if (!inReconnect && !(told < mToldGone.size() && mToldGone[told])) {
        return false;
    }
    const auto connections = port.GetConnections();
    return port.GetConnectStatus() == 0 &&
           std::none_of(connections.begin(), connections.end(),
                        [inName](const MIDICLConnection& inConnection) {
                            return inConnection.mName == inName;
                        });
}

bool KRVDestinations::IsHeard() const {
    for (int i = 0; i < mSequencer.GetPortCount(); i++) {
        for (const MIDICLConnection& connection : mSequencer.GetPort(i)->GetConnections()) {
            if (!connection.mOwn) {
                return true;
            }
        }
    }
    return false;
}

void KRVDestinations::ExplainSilence(KRVShellInterface& ioOut) {
    if (IsHeard()) {
        mToldSilent = false;
        return;
    }
    if (!mToldSilent) {
        ioOut.Write(
            "krv: no MIDI destination, playing silently (start a synthesizer; `ports` shows "
            "what krv reaches)\n");
        mToldSilent = true;
    }
}
