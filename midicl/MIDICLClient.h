#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "MIDICLTypes.h"

class MIDICLDestination;
class MIDICLHost;
class MIDICLInputPort;
class MIDICLOutputPort;

// The program's connection to the platform's MIDI service, and the factory of
// its ports and virtual destinations.
//
// The service ("host") is chosen once, when the client is made:
//  - A host name, "alsa", "jack" or "none", forces the ALSA sequencer, a
//    running JACK server or the built-in host; a forced host that cannot be
//    opened, or an unknown name, throws MIDICLException(kMIDIClientCreate,
//    status). The application decides where the name comes from.
//  - Without one: ALSA if its sequencer device opens, else a JACK server
//    that is already running (none is ever started), else the built-in host,
//    whose only destinations are the virtual destinations this process makes.
//
// Objects made here are the caller's to delete, in any order relative to the
// client: each keeps the host connection alive for as long as it needs it.
// The library prints nothing; every failing host call throws MIDICLException.
class MIDICLClient {
public:
    // MIDI status bytes; senders use the low byte.
    static const int kMIDINoteOffMessage = 0x80;
    static const int kMIDINoteOnMessage = 0x90;
    static const int kMIDIPolyAftertouchMessage = 0xA0;
    static const int kMIDIControlChangeMessage = 0xB0;
    static const int kMIDIProgramChangeMessage = 0xC0;
    static const int kMIDIChannelAftertouchMessage = 0xD0;
    static const int kMIDIPitchBendMessage = 0xE0;
    static const int kMIDISystemExclusiveMessage = 0xF0;
    static const int kMIDIClockMessage = 0xF8;
    static const int kMIDIStartMessage = 0xFA;
    static const int kMIDIContinueMessage = 0xFB;
    static const int kMIDIStopMessage = 0xFC;
    static const int kMIDIActiveSensingMessage = 0xFE;
    static const int kMIDIResetMessage = 0xFF;

    // The size of the buffer GetDestinationName fills at start-up and in
    // the ports listing.
    static const std::size_t kNameBufferSize = 64;

    // Chooses the host as described above: inHostChoice is one of
    // GetHostNames(), or null (or empty) for the automatic choice. inName is
    // the client's name as other programs see it.
    explicit MIDICLClient(const std::string& inName, const char* inHostChoice = nullptr);
    ~MIDICLClient();

    MIDICLClient(const MIDICLClient&) = delete;
    MIDICLClient& operator=(const MIDICLClient&) = delete;

    // The names of the hosts this build has, in the order the automatic
    // choice tries them; "none", the built-in host, is always last.
    static std::vector<std::string> GetHostNames();
    // The name of the host that was chosen, as GetHostNames() gives it.
    const char* GetHostName() const;
    // The MIDI system in a user's words, for reports: "ALSA sequencer",
    // "JACK", "PipeWire's JACK", "built-in".
    std::string GetHostDescription() const;

    // Heap objects the caller owns. When the host refuses, nothing is leaked
    // and MIDICLException is thrown with kMIDIDestinationCreate,
    // kMIDIInputPortCreate or kMIDIOutputPortCreate. Where the host needs
    // port names to be unique (JACK) a repeated name gets a suffix:
    // "output", "output-2", ...
    MIDICLDestination* MakeDestination(const std::string& inPortName);
    MIDICLInputPort* MakeInputPort(const std::string& inPortName);
    MIDICLOutputPort* MakeOutputPort(const std::string& inPortName);

    // Returns once the connections of the output ports made so far carry
    // messages, or after a bound (a second at most).
    void WaitForConnections();
    // How many output ports the host can serve at once.
    int GetMaxOutputPorts() const;
    // True once the host's server has gone away (a JACK server that quit):
    // nothing reaches a destination any more.
    bool IsHostGone() const;
    // When the host has gone, opens a host of the same kind under the same
    // name again (a JACK server that was restarted); objects made before
    // stay with the old host until moved. False, and nothing changes, while
    // none opens.
    bool Reopen();
    // Moves a port made before Reopen to the new host, under its first name
    // and unconnected. Not while another thread uses the port. Throws
    // MIDICLException(kMIDIOutputPortCreate) when the host refuses it; the
    // port then stays where it was.
    void AdoptPort(MIDICLOutputPort& ioPort);

    // True when destinations may have come or gone since the last call; the
    // first call says true.
    bool TakeDestinationsChanged();
    // Whether an endpoint is a port of this client's own (a virtual
    // destination it made).
    bool IsOwnEndpoint(MIDICLEndpointRef inEndpoint) const;

    // The host's destinations, listed afresh on every call, the one most
    // likely to sound first: on ALSA the writable ports that allow routing,
    // synthesizers, then applications, then hardware MIDI ports, then
    // pass-through ports (Midi Through), each by client:port; on JACK the
    // MIDI inputs in the server's order, those whose names say "through"
    // last; built-in the virtual destinations in the order made.
    int GetNumberOfDestinations() const;
    // An invalid endpoint when inIndex names no destination (any more).
    MIDICLEndpointRef GetDestination(int inIndex) const;
    // Writes destination inIndex's display name ("client:port" on ALSA, the
    // full port name on JACK) into outName, cut at a UTF-8 character boundary
    // to fit inSize bytes and always terminated. Returns false, with an empty
    // string written, when inIndex names no destination (any more), so that a
    // listing can print a placeholder instead.
    bool GetDestinationName(int inIndex, char* outName, std::size_t inSize = kNameBufferSize) const;
    // The host's sources, the ports a keyboard plays in from, listed afresh
    // on every call, this client's own never among them: on ALSA the
    // readable ports that allow routing, on JACK the MIDI outputs in the
    // server's order, built-in the test sources. Names as for destinations.
    int GetNumberOfSources() const;
    MIDICLEndpointRef GetSource(int inIndex) const;
    bool GetSourceName(int inIndex, char* outName, std::size_t inSize = kNameBufferSize) const;
    // The same for an endpoint.
    bool GetEndpointName(MIDICLEndpointRef inEndpoint, char* outName,
                         std::size_t inSize = kNameBufferSize) const;

private:
    const std::string mName;
    std::shared_ptr<MIDICLHost> mClientRef;
};
