#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "MIDICLPacketList.h"
#include "MIDICLTypes.h"

// What an output port is connected to now, as the host shows it.
struct MIDICLConnection {
    std::string mName;
    // One of this client's own ports.
    bool mOwn = false;
};

// Called once when the host no longer needs a system-exclusive buffer.
using MIDICLSysExDoneProc = void (*)(void* inRefCon);

// The host side of one output port. Send and SendSysEx return the host's
// status (0 = accepted) rather than throwing so that every host reports
// failures the same way through MIDICLOutputPort. Send must neither allocate
// nor lock: the playback thread calls it.
class MIDICLHostOutput {
public:
    virtual ~MIDICLHostOutput() = default;

    // Points the port at a destination; an invalid one disconnects it. A
    // port that cannot connect drops what it is given.
    virtual void Connect(MIDICLEndpointRef inDestination) = 0;
    // Why the last Connect failed (the host's status), or 0 when it did not
    // or the host cannot tell.
    virtual std::int32_t GetConnectStatus() const { return 0; }
    // Everything the port is connected to now, whoever connected it; not
    // for the playback thread.
    virtual std::vector<MIDICLConnection> GetConnections() const = 0;
    virtual std::int32_t Send(const MIDICLPacketList& inList) = 0;
    // On success the host calls inDone(inRefCon) once it is done with the
    // bytes, possibly before this returns; on failure it never does.
    virtual std::int32_t SendSysEx(const std::uint8_t* inData, std::size_t inLength,
                                   MIDICLTimeStamp inTimeStamp, MIDICLSysExDoneProc inDone,
                                   void* inRefCon) = 0;
    // See MIDICLOutputPort::Flush. Hosts that hold nothing back, or send it
    // on a thread of their own, have nothing to do.
    virtual void Flush() {}
    // See MIDICLOutputPort::WithdrawPending. Hosts that send at once have
    // nothing ahead to withdraw.
    virtual void WithdrawPending(MIDICLTimeStamp) {}
};
