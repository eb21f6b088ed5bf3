#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "MIDICLPacketList.h"
#include "MIDICLTypes.h"

class MIDICLHost;
class MIDICLHostInput;
class MIDICLInputPortListener;

// A virtual destination: an endpoint of this client that others (this
// client's output ports included) list among the destinations and send to.
// What arrives goes to the listener, or is dropped without one. Made by
// MIDICLClient::MakeDestination; the caller owns it.
class MIDICLDestination {
public:
    // Throws MIDICLException(kMIDIDestinationCreate, status).
    MIDICLDestination(const std::shared_ptr<MIDICLHost>& inHost, const std::string& inName);
    // Once this returns, the listener is no longer called.
    ~MIDICLDestination();

    MIDICLDestination(const MIDICLDestination&) = delete;
    MIDICLDestination& operator=(const MIDICLDestination&) = delete;

    // Not owned; null removes it. Set it before data can arrive.
    void SetListener(MIDICLInputPortListener* inListener);
    // What an output port's SetDestination takes to send here.
    MIDICLEndpointRef GetEndpoint() const;

private:
    static void ReadProc(const MIDICLPacketList& inList, void* inReadProcRefCon);

    std::atomic<MIDICLInputPortListener*> mListener;
    std::unique_ptr<MIDICLHostInput> mDestinationRef;
};
