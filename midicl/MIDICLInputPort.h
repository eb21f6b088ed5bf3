#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "MIDICLPacketList.h"
#include "MIDICLTypes.h"

class MIDICLClock;
class MIDICLHost;
class MIDICLHostInput;
class MIDICLInputPortListener;

// A port that receives from the sources connected to it and hands what
// arrives to its listener; without a listener it is dropped. Made by
// MIDICLClient::MakeInputPort; the caller owns it.
class MIDICLInputPort {
public:
    // Throws MIDICLException(kMIDIInputPortCreate, status).
    MIDICLInputPort(const std::shared_ptr<MIDICLHost>& inHost, const std::string& inName);
    // Once this returns, the listener is no longer called.
    ~MIDICLInputPort();

    MIDICLInputPort(const MIDICLInputPort&) = delete;
    MIDICLInputPort& operator=(const MIDICLInputPort&) = delete;

    // Not owned; null removes it. Set it before data can arrive.
    void SetListener(MIDICLInputPortListener* inListener);
    // Connects a source endpoint. A source the host rejects changes nothing
    // and raises nothing.
    void SetSource(MIDICLEndpointRef inSource);
    // Whether inSource is connected to the port now (MIDICLHostInput).
    bool IsConnectedTo(MIDICLEndpointRef inSource) const;
    // The clock the time stamps of what arrives are on; it lives as long as
    // the port.
    MIDICLClock& GetClock() const;

private:
    static void ReadProc(const MIDICLPacketList& inList, void* inReadProcRefCon);

    std::atomic<MIDICLInputPortListener*> mListener;
    std::shared_ptr<MIDICLHost> mHost;
    std::unique_ptr<MIDICLHostInput> mPortRef;
};
