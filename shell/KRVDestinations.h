#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "MIDICLTypes.h"
#include "input/KRVMIDIInput.h"

class KRVClockFollower;
class KRVSequencer;
class KRVShellInterface;
class MIDICLClient;
class MIDICLDestination;

// The MIDI destinations krv plays to, followed while it runs. Each
// destination gets an output port of its own, and port numbers never change:
// events and saved scripts name ports by number. A destination that appears
// later gets the next port; one that goes away keeps its port, which plays
// nowhere until a destination of the same name is back; a JACK server that
// quits and comes back is opened again and every port connected again by
// name. krv's own ports are never taken for destinations, except the dummy
// one made when there is nothing else, so that the program runs anywhere;
// nor is another krv's dummy, which is no synthesizer either. While port 0
// plays to our dummy, the first destination that appears takes port 0 over:
// what was written for port 0 is heard at once.
//
// Nothing here runs on the clock thread: the shell looks at each prompt,
// at `play` and at `ports`.
class KRVDestinations {
public:
    KRVDestinations(std::unique_ptr<MIDICLClient> inClient, KRVSequencer& ioSequencer);
    // The client goes before the virtual destination it made.
    ~KRVDestinations();
    KRVDestinations(const KRVDestinations&) = delete;
    KRVDestinations& operator=(const KRVDestinations&) = delete;

    // The ports at start-up, said on standard output: one per destination,
    // in the host's order, up to what the host serves.
    void SetUp();
    // Follows what came and went since the last look, and says it. The host
    // says when something changed, a moment after it did; inLookAnyway looks
    // without waiting for that, for new destinations and ones gone or back
    // (a connection merely undone from outside is left to the next change).
    void Refresh(KRVShellInterface& ioOut, bool inLookAnyway = false);
    // Says that no port reaches anything but a dummy destination (ours or
    // another krv's), or nothing at all: the user hears silence.
    void ExplainSilence(KRVShellInterface& ioOut);
    // The MIDI system in a user's words ("JACK", "ALSA sequencer", ...).
    std::string GetSystemName() const;
    // What makes input ports named inName on the host.
    KRVMIDIInput::PortMaker GetInputPortMaker(const std::string& inName);
    // Whether a destination's display name is a krv's dummy, ours or not.
    static bool IsDummyName(const std::string& inName);

    // The MIDI sources as the host lists them now, by display name.
    std::vector<std::string> ListSources() const;
    // Listens from now on to the source of that name (none when empty): at
    // once when it is there, else once it comes. Says what went wrong
    // (a port the host refused) and returns false then.
    bool ListenTo(KRVShellInterface& ioOut, const std::string& inName);
    // The source of that name now; an invalid endpoint for none.
    MIDICLEndpointRef FindSource(const std::string& inName) const;
    // Whether the chosen source is there and listened to.
    bool IsListening() const;

private:
    // One destination as one listing saw it. The host lists afresh on every
    // call, and a list may change between two calls (PipeWire puts a new
    // port anywhere), so a look takes the endpoints once and asks about them.
    struct Listed {
        MIDICLEndpointRef mEndpoint;
        std::string mName;
        bool mOwn;
    };
    std::vector<Listed> List() const;
    std::vector<Listed> MakeDummy();

    bool ComeBack(KRVShellInterface& ioOut);
    void FollowSyncAgain(KRVShellInterface& ioOut);
    void FollowDestinations(KRVShellInterface& ioOut, bool inReconnect = true);
    bool TakeNewDestination(KRVShellInterface& ioOut, const Listed& inDestination);
    void TakeOverPortZero(MIDICLEndpointRef inEndpoint);
    void TellLeftOut(KRVShellInterface& ioOut, const char* inName);
    std::vector<Listed> ListUsableDestinations() const;
    void TellGone(KRVShellInterface& ioOut);
    int FindPortWanting(const char* inName) const;
    bool NeedsConnecting(int inPort, const char* inName, bool inReconnect) const;
    bool IsHeard() const;
    void AddPort(MIDICLEndpointRef inEndpoint, bool inConnecting = false);
    // Once the connections made hold: the ports connected anew send their
    // programs again and start notes.
    void ReleaseConnected();
    void Connect(int inPort, MIDICLEndpointRef inEndpoint);
    bool OpenInput(KRVShellInterface& ioOut, MIDICLEndpointRef inSource);
    // Follows the chosen source as it goes and comes back.
    void FollowSource(KRVShellInterface& ioOut);
    bool HasLostSource();
    // The same for the source of the clock followed.
    void FollowClockSource(KRVShellInterface& ioOut);

    std::unique_ptr<MIDICLClient> mClient;
    KRVSequencer& mSequencer;
    std::unique_ptr<MIDICLDestination> mDummy;
    // Port 0 plays to our dummy until a destination appears.
    bool mPortZeroOnDummy = false;
    // Ports said to play nowhere since their destination went.
    std::vector<bool> mToldGone;
    // Destinations said to be left out for want of ports.
    std::set<std::string> mToldLeftOut;
    // Ports connected anew since the last wait for connections; their
    // programs go again once the connections hold.
    std::vector<int> mConnected;
    // The source the input listens to now; invalid while it does not.
    MIDICLEndpointRef mListenedSource;
    // Whether its connection has been seen to hold (a server may show it a
    // moment after it was made).
    bool mListenedConnected = false;
    // Whether the followed clock's source was said to be gone; for the
    // follower and source name it was said of.
    const KRVClockFollower* mClockFollower = nullptr;
    std::string mClockName;
    bool mClockGone = false;
};
