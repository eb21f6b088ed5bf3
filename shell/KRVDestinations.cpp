#include "KRVDestinations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "KRVMIDIFailure.h"
#include "KRVShellInterface.h"
#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLException.h"
#include "MIDICLInputPort.h"
#include "MIDICLOutputPort.h"
#include "model/KRVSequencer.h"
#include "playback/KRVClockFollow.h"

namespace {

constexpr const char* kDummyName = "KRVShell dummy destination";

std::string PortLine(const char* inWhat, int inPort, const char* inName) {
    return std::string(inWhat) + std::to_string(inPort) + " is " + inName + "\n";
}

}  // namespace

KRVDestinations::KRVDestinations(std::unique_ptr<MIDICLClient> inClient, KRVSequencer& ioSequencer)
    : mClient(std::move(inClient)), mSequencer(ioSequencer) {}

KRVDestinations::~KRVDestinations() {
    // The input's ports come from the client, and its thru notes end now.
    mSequencer.GetInput().Close();
    mClient.reset();
    mDummy.reset();
}

// Port i of the sequence plays to the i-th destination that is not another
// krv's dummy. With no destination at all we first make one of our own, so
// that the program runs anywhere.
void KRVDestinations::SetUp() {
    std::vector<Listed> destinations = ListUsableDestinations();
    std::printf("KRVShell: found %d MIDI destinations\n", static_cast<int>(destinations.size()));
    if (destinations.empty()) {
        std::printf("KRVShell: no MIDI destinations found, making a dummy one\n");
        destinations = MakeDummy();
        mPortZeroOnDummy = !destinations.empty();
    }
    // A host serves so many ports; the destinations past them get none.
    const int numDestinations = static_cast<int>(destinations.size());
    const int numPorts = std::min(numDestinations, mClient->GetMaxOutputPorts());
    for (int i = 0; i < numDestinations; i++) {
        const char* name = destinations[i].mName.c_str();
        if (i >= numPorts) {
            mToldLeftOut.insert(name);
            continue;
        }
        std::printf("KRVShell: output port %d is %s\n", i, name);
        AddPort(destinations[i].mEndpoint);
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

// Taken as made, not from a listing: a host may list a new port only a
// moment later (PipeWire), and under another name until it has made the
// client's name unique.
std::vector<KRVDestinations::Listed> KRVDestinations::MakeDummy() {
    mDummy.reset(mClient->MakeDestination(kDummyName));
    const MIDICLEndpointRef endpoint = mDummy->GetEndpoint();
    char name[MIDICLClient::kNameBufferSize];
    if (!mClient->GetEndpointName(endpoint, name, sizeof name)) {
        return {};
    }
    return {Listed{endpoint, name, true}};
}

// Those gone between taking the list and asking about them are left out.
std::vector<KRVDestinations::Listed> KRVDestinations::List() const {
    std::vector<MIDICLEndpointRef> endpoints;
    const int count = mClient->GetNumberOfDestinations();
    for (int i = 0; i < count; i++) {
        endpoints.push_back(mClient->GetDestination(i));
    }
    std::vector<Listed> listed;
    for (const MIDICLEndpointRef endpoint : endpoints) {
        char name[MIDICLClient::kNameBufferSize];
        if (mClient->GetEndpointName(endpoint, name, sizeof name)) {
            listed.push_back({endpoint, name, mClient->IsOwnEndpoint(endpoint)});
        }
    }
    return listed;
}

// The destinations krv may play to: all but the dummies of other krv
// processes (ours is listed once it is made).
std::vector<KRVDestinations::Listed> KRVDestinations::ListUsableDestinations() const {
    std::vector<Listed> usable = List();
    std::erase_if(usable, [](const Listed& inListed) {
        return !inListed.mOwn && IsDummyName(inListed.mName);
    });
    return usable;
}

KRVMIDIInput::PortMaker KRVDestinations::GetInputPortMaker(const std::string& inName) {
    return
        [this, inName] { return std::unique_ptr<MIDICLInputPort>(mClient->MakeInputPort(inName)); };
}

// "KRVShell dummy destination" alone (built-in), after a client's name
// ("KRVSequencer-01:KRVShell dummy destination"), perhaps with the suffix a
// host gives a repeated port name ("...destination-2").
bool KRVDestinations::IsDummyName(const std::string& inName) {
    const std::size_t colon = inName.find(':');
    const std::string port = colon == std::string::npos ? inName : inName.substr(colon + 1);
    const std::size_t length = std::strlen(kDummyName);
    if (port.compare(0, length, kDummyName) != 0) {
        return false;
    }
    const std::string suffix = port.substr(length);
    return suffix.empty() || (suffix.size() > 1 && suffix[0] == '-' &&
                              suffix.find_first_not_of("0123456789", 1) == std::string::npos);
}

std::string KRVDestinations::GetSystemName() const {
    return mClient->GetHostDescription();
}

void KRVDestinations::AddPort(MIDICLEndpointRef inEndpoint, bool inConnecting) {
    std::unique_ptr<MIDICLOutputPort> port(mClient->MakeOutputPort("output"));
    port->SetDestination(inEndpoint);
    mSequencer.AddPort(port.release(), inConnecting);
}

// The programs go at once, and again once the connection holds (see
// FollowDestinations): the first may reach the synthesizer before its
// connection does. Meanwhile the port starts no note, and what it holds is
// withdrawn before the connection is made: the server goes on taking it
// while the connection is made, and would deliver it before the programs.
void KRVDestinations::Connect(int inPort, MIDICLEndpointRef inEndpoint) {
    mSequencer.ResendPrograms(inPort, true);
    mSequencer.SetPortDestination(inPort, inEndpoint);
    mConnected.push_back(inPort);
}

void KRVDestinations::Refresh(KRVShellInterface& ioOut, bool inLookAnyway) {
    if (mClient->IsHostGone() && !ComeBack(ioOut)) {
        return;
    }
    if (mClient->TakeDestinationsChanged()) {
        FollowDestinations(ioOut);
        FollowSource(ioOut);
        FollowClockSource(ioOut);
    } else if (inLookAnyway) {
        FollowDestinations(ioOut, false);
        FollowSource(ioOut);
        FollowClockSource(ioOut);
    }
    // A port may play elsewhere now, or the track played into be another.
    mSequencer.UpdateThru();
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
    // The input's port stays with the old server; it is opened again below.
    mSequencer.GetInput().Close();
    mListenedSource = MIDICLEndpointRef{};
    try {
        if (mDummy) {
            mDummy.reset();
            mDummy.reset(mClient->MakeDestination(kDummyName));
        }
        for (int i = 0; i < mSequencer.GetPortCount(); i++) {
            mClient->AdoptPort(*mSequencer.GetPort(i));
        }
        if (MIDICLOutputPort* thru = mSequencer.GetThruPort()) {
            mClient->AdoptPort(*thru);
            mSequencer.RepointThru();
        }
    } catch (const MIDICLException& exception) {
        ioOut.Write(("krv: the MIDI server is back, but " +
                     KRVMIDIFailure::Describe(exception, mClient->GetHostName()) + "\n")
                        .c_str());
        return false;
    }
    ioOut.Write("krv: the JACK server is back, MIDI output restarted\n");
    FollowDestinations(ioOut);
    FollowSyncAgain(ioOut);
    if (playing) {
        mSequencer.Play();
    }
    return true;
}

// The transport krv followed or led, and the clock it followed, are the
// old server's: krv takes up the new server's transport, and the clock of
// the source of that name if it is there already.
void KRVDestinations::FollowSyncAgain(KRVShellInterface& ioOut) {
    using Mode = KRVSequencer::TransportMode;
    const Mode mode = mSequencer.GetTransportMode();
    if (mode != Mode::kOff &&
        mSequencer.SetTransportMode(mode) != KRVSequencer::TransportResult::kDone) {
        mSequencer.SetTransportMode(Mode::kOff);
        ioOut.Write("krv: the new server's transport could not be taken up: transport off\n");
    }
    if (!mSequencer.IsFollowingClock()) {
        return;
    }
    const std::string name = mSequencer.GetClockSourceName();
    const MIDICLEndpointRef source = FindSource(name);
    bool following = false;
    try {
        following = source.IsValid() &&
                    mSequencer.FollowClock(GetInputPortMaker("clock in"), source, name) ==
                        KRVSequencer::ClockInResult::kDone;
    } catch (const MIDICLException&) {
    }
    if (!following) {
        mSequencer.StopFollowingClock();
        ioOut.Write(
            ("krv: MIDI clock source gone with the server: " + name + ", clockin off\n").c_str());
    }
}

// Each destination is either one a port wants (connected again when the
// port is not connected to it, with inReconnect), one of our own or another
// krv's dummy (left alone), or new. A port connected anew sends its programs
// again once its connection holds.
void KRVDestinations::FollowDestinations(KRVShellInterface& ioOut, bool inReconnect) {
    // However this ends, the ports connected anew play again, their
    // programs first.
    struct Release {
        KRVDestinations& mDestinations;
        ~Release() { mDestinations.ReleaseConnected(); }
    } release{*this};
    for (const Listed& destination : List()) {
        const char* name = destination.mName.c_str();
        const int port = FindPortWanting(name);
        if (port >= 0) {
            if (NeedsConnecting(port, name, inReconnect)) {
                Connect(port, destination.mEndpoint);
                ioOut.Write(PortLine("krv: MIDI destination back: port ", port, name).c_str());
            }
        } else if (!destination.mOwn && !IsDummyName(destination.mName)) {
            TakeNewDestination(ioOut, destination);
        }
    }
    TellGone(ioOut);
}

void KRVDestinations::ReleaseConnected() {
    if (mConnected.empty()) {
        return;
    }
    mClient->WaitForConnections();
    for (int connected : mConnected) {
        mSequencer.ResendPrograms(connected);
    }
    mConnected.clear();
}

// Port 0 first, while it plays to our dummy; then a new port at the end,
// while the host serves more.
bool KRVDestinations::TakeNewDestination(KRVShellInterface& ioOut, const Listed& inDestination) {
    const char* name = inDestination.mName.c_str();
    int port = 0;
    if (mPortZeroOnDummy) {
        TakeOverPortZero(inDestination.mEndpoint);
    } else if (mSequencer.GetPortCount() < mClient->GetMaxOutputPorts()) {
        AddPort(inDestination.mEndpoint, true);
        port = mSequencer.GetPortCount() - 1;
        mConnected.push_back(port);
    } else {
        TellLeftOut(ioOut, name);
        return false;
    }
    ioOut.Write(PortLine("krv: new MIDI destination: port ", port, name).c_str());
    return true;
}

// The dummy has served its turn: nothing needs it any more, and it would
// only stand in other programs' lists.
void KRVDestinations::TakeOverPortZero(MIDICLEndpointRef inEndpoint) {
    Connect(0, inEndpoint);
    mPortZeroOnDummy = false;
    mDummy.reset();
}

void KRVDestinations::TellLeftOut(KRVShellInterface& ioOut, const char* inName) {
    if (mToldLeftOut.insert(inName).second) {
        ioOut.Write(("krv: MIDI destination left out, " +
                     std::to_string(mClient->GetMaxOutputPorts()) + " ports at most: " + inName +
                     "\n")
                        .c_str());
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

// A dummy, ours or another krv's, makes no sound.
bool KRVDestinations::IsHeard() const {
    for (int i = 0; i < mSequencer.GetPortCount(); i++) {
        for (const MIDICLConnection& connection : mSequencer.GetPort(i)->GetConnections()) {
            if (!connection.mOwn && !IsDummyName(connection.mName)) {
                return true;
            }
        }
    }
    return false;
}

void KRVDestinations::ExplainSilence(KRVShellInterface& ioOut) {
    if (!IsHeard()) {
        ioOut.Write(
            "krv: no MIDI destination, playing silently (start a synthesizer; `ports` shows "
            "what krv reaches)\n");
    }
}

std::vector<std::string> KRVDestinations::ListSources() const {
    std::vector<MIDICLEndpointRef> endpoints;
    const int count = mClient->GetNumberOfSources();
    for (int i = 0; i < count; i++) {
        endpoints.push_back(mClient->GetSource(i));
    }
    std::vector<std::string> names;
    for (const MIDICLEndpointRef endpoint : endpoints) {
        char name[MIDICLClient::kNameBufferSize];
        if (mClient->GetEndpointName(endpoint, name, sizeof name)) {
            names.push_back(name);
        }
    }
    return names;
}

MIDICLEndpointRef KRVDestinations::FindSource(const std::string& inName) const {
    const int count = mClient->GetNumberOfSources();
    for (int i = 0; i < count; i++) {
        const MIDICLEndpointRef endpoint = mClient->GetSource(i);
        char name[MIDICLClient::kNameBufferSize];
        if (mClient->GetEndpointName(endpoint, name, sizeof name) && inName == name) {
            return endpoint;
        }
    }
    return MIDICLEndpointRef{};
}

bool KRVDestinations::ListenTo(KRVShellInterface& ioOut, const std::string& inName) {
    mSequencer.GetInput().Close();
    mListenedSource = MIDICLEndpointRef{};
    mSequencer.GetInputChoice().mSource = inName;
    const MIDICLEndpointRef source = inName.empty() ? MIDICLEndpointRef{} : FindSource(inName);
    return !source.IsValid() || OpenInput(ioOut, source);
}

bool KRVDestinations::IsListening() const {
    return mListenedSource.IsValid();
}

// The thru port is made with the first input, so that a krv nobody plays
// into shows no more ports than it ever did.
bool KRVDestinations::OpenInput(KRVShellInterface& ioOut, MIDICLEndpointRef inSource) {
    try {
        if (mSequencer.GetThruPort() == nullptr) {
            mSequencer.SetThruPort(mClient->MakeOutputPort("thru"));
        }
        mSequencer.GetInput().Open(
            [this] { return std::unique_ptr<MIDICLInputPort>(mClient->MakeInputPort("input")); },
            inSource);
    } catch (const MIDICLException& exception) {
        ioOut.Write(("krv: can't listen to " + mSequencer.GetInputChoice().mSource + ": " +
                     KRVMIDIFailure::Describe(exception, mClient->GetHostName()) + "\n")
                        .c_str());
        mSequencer.GetInput().Close();
        return false;
    }
    mListenedSource = inSource;
    mListenedConnected = mSequencer.GetInput().HearsSource();
    mSequencer.UpdateThru();
    return true;
}

// A source that went and came back between two looks may have the same
// handle again (an ALSA client's number, a USB keyboard plugged in again),
// but not our connection: one seen to hold that holds no more is lost.
bool KRVDestinations::HasLostSource() {
    const bool connected = mSequencer.GetInput().HearsSource();
    const bool lost = mListenedConnected && !connected;
    mListenedConnected = connected;
    return lost;
}

// A clock source that went, or came back under its handle with our
// connection lost, is listened to again by name once it is there: the
// follower goes on, the silence having ended its run, and the source's next
// clock or Start plays on.
void KRVDestinations::FollowClockSource(KRVShellInterface& ioOut) {
    KRVClockFollower* follower = mSequencer.GetClockFollower();
    const std::string& name = mSequencer.GetClockSourceName();
    if (follower != mClockFollower || name != mClockName) {
        // A clock chosen anew, or none.
        mClockFollower = follower;
        mClockName = name;
        mClockGone = false;
    }
    if (follower == nullptr) {
        return;
    }
    const MIDICLEndpointRef source = FindSource(name);
    const bool lost = follower->HasLostSource();
    if (!mClockGone && (lost || !(source == follower->GetSource()))) {
        mClockGone = true;
        ioOut.Write(("krv: MIDI clock source gone: " + name + " (followed again once it is back)\n")
                        .c_str());
    }
    if (!mClockGone || !source.IsValid()) {
        return;
    }
    try {
        follower->Listen(GetInputPortMaker("clock in"), source);
    } catch (const MIDICLException& exception) {
        ioOut.Write(("krv: can't listen to " + name + ": " +
                     KRVMIDIFailure::Describe(exception, mClient->GetHostName()) + "\n")
                        .c_str());
        return;
    }
    mClockGone = false;
    ioOut.Write(("krv: MIDI clock source back: " + name + "\n").c_str());
}

// A source that went is let go of (its notes thru end), and listened to
// again by name once it is back, whatever handle it has then.
void KRVDestinations::FollowSource(KRVShellInterface& ioOut) {
    const std::string& wanted = mSequencer.GetInputChoice().mSource;
    if (wanted.empty()) {
        return;
    }
    const MIDICLEndpointRef source = FindSource(wanted);
    if (mListenedSource.IsValid() && (!(source == mListenedSource) || HasLostSource())) {
        mSequencer.GetInput().Close();
        mListenedSource = MIDICLEndpointRef{};
        ioOut.Write(("krv: MIDI source gone: " + wanted + " (listened to again once it is back)\n")
                        .c_str());
    }
    if (!mListenedSource.IsValid() && source.IsValid() && OpenInput(ioOut, source)) {
        ioOut.Write(("krv: MIDI source back: " + wanted + "\n").c_str());
    }
}
