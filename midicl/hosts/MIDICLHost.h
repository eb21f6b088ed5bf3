#pragma once

#include <memory>
#include <string>

#include "MIDICLClock.h"
#include "MIDICLTypes.h"
#include "hosts/MIDICLHostInput.h"
#include "hosts/MIDICLHostOutput.h"
#include "hosts/MIDICLReadProc.h"

// One MIDI service of the platform, opened as one client. Everything above
// this interface is host-neutral, so a new host is one more implementation and
// one more line in MIDICLHostChooser. The objects it makes keep the host alive
// through the shared pointer they were made from, because their owners may
// destroy the client first.
class MIDICLHost {
public:
    virtual ~MIDICLHost();

    // The name that forces this host: "alsa", "jack", "none".
    virtual const char* GetName() const = 0;
    // What a user calls it: "ALSA sequencer", "JACK", "built-in".
    virtual std::string GetDescription() const = 0;

    // The clock that time stamps given to this host's ports are read on;
    // CLOCK_MONOTONIC nanoseconds unless the host schedules on its own.
    virtual MIDICLClock& GetClock();

    // Returns once the connections made so far carry messages, or after a
    // bound: a first note sent before that would go nowhere. Hosts whose
    // connections hold at once return at once.
    virtual void WaitForConnections() {}
    // How many output ports the host can serve.
    virtual int GetMaxOutputPorts() const { return 1 << 30; }
    // True once the host's server has gone away: nothing reaches a
    // destination any more.
    virtual bool IsGone() const { return false; }

    // True when destinations may have come or gone since the last call
    // (the first call after opening says true); hosts that learn of no
    // change say false.
    virtual bool TakeDestinationsChanged() { return false; }
    // For a host that has gone, before another is opened in its place:
    // lets go of the server now (libjack keeps one connection to a server
    // per process, which a dead client would hold), and afterwards asks it
    // nothing. The objects made from it stay valid and do nothing.
    virtual void Abandon() {}
    // True for an endpoint of this client's own, which its output must
    // never take for a destination of its own accord.
    virtual bool IsOwnEndpoint(MIDICLEndpointRef) { return false; }

    // Destinations are listed afresh on every call, in the host's order.
    virtual int GetNumberOfDestinations() = 0;
    // An invalid endpoint when inIndex names no destination (any more).
    virtual MIDICLEndpointRef GetDestination(int inIndex) = 0;
    // False when the endpoint does not exist (any more).
    virtual bool GetEndpointName(MIDICLEndpointRef inEndpoint, std::string& outName) = 0;

    // Sources, the ports others send from, listed afresh on every call in
    // the host's order, this client's own never among them; a host that
    // offers none says 0.
    virtual int GetNumberOfSources() { return 0; }
    // An invalid endpoint when inIndex names no source (any more).
    virtual MIDICLEndpointRef GetSource(int) { return MIDICLEndpointRef{}; }

    // These throw MIDICLException with the call number of the step that failed.
    virtual std::unique_ptr<MIDICLHostOutput> CreateOutputPort(const std::string& inName) = 0;
    virtual std::unique_ptr<MIDICLHostInput> CreateInputPort(const std::string& inName,
                                                             MIDICLReadProc inReadProc,
                                                             void* inRefCon) = 0;
    virtual std::unique_ptr<MIDICLHostInput> CreateDestination(const std::string& inName,
                                                               MIDICLReadProc inReadProc,
                                                               void* inRefCon) = 0;
};
