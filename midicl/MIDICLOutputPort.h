#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "MIDICLPacketList.h"
#include "MIDICLTypes.h"
#include "hosts/MIDICLHostOutput.h"

class MIDICLClient;
class MIDICLClock;
class MIDICLHost;
class MIDICLTransport;

// One output port bound to one destination. Every sender turns its bytes into
// one packet and hands it to the host at once; a failing host call is thrown
// as MIDICLException, except by the Try senders, which return the host's
// status. Senders allocate nothing and take no lock, so the
// playback thread may call them. Made by MIDICLClient::MakeOutputPort; whoever
// called that owns the port and deletes it.
//
// Every sender takes an optional time stamp (see MIDICLTypes.h): 0 sends now;
// a time on the port's clock (GetClock) lets a host that schedules (JACK)
// place the message exactly, while the others deliver at once and pass the
// stamp on.
//
// Channel-voice senders OR the channel into the status byte and pass the data
// bytes unchanged: callers give a channel 0-15 and data bytes 0-127.
class MIDICLOutputPort {
public:
    // Throws MIDICLException(kMIDIOutputPortCreate, status) when the host
    // refuses the port.
    MIDICLOutputPort(const std::shared_ptr<MIDICLHost>& inHost, const std::string& inName);
    // Does not wait for a system-exclusive send in flight, nor release its
    // buffer: a port with a request in flight must not be destroyed.
    ~MIDICLOutputPort();

    MIDICLOutputPort(const MIDICLOutputPort&) = delete;
    MIDICLOutputPort& operator=(const MIDICLOutputPort&) = delete;

    // Points the port at the host's destination inIndex (as counted by
    // MIDICLClient::GetNumberOfDestinations) or at an endpoint. An index or
    // endpoint that names nothing leaves the port unconnected: sends then go
    // nowhere. Call before the port is shared with another thread.
    void SetDestination(int inIndex);
    void SetDestination(MIDICLEndpointRef inDestination);
    MIDICLEndpointRef GetDestination() const { return mDestination; }
    // 0 when the port is connected to its destination (or has none), else
    // the host's status for why it could not connect (ALSA: a negative
    // errno); such a port plays nowhere.
    std::int32_t GetConnectStatus() const;
    // The display name of the destination this port sends to, as
    // MIDICLClient::GetDestinationName writes it; false, with an empty name,
    // when the port has no destination or it has vanished since.
    bool GetDestinationName(char* outName, std::size_t inSize) const;
    // The display name of the destination the port was last pointed at,
    // kept after that destination vanished, so that the port can be pointed
    // at it again when it comes back; empty when it never had one.
    const std::string& GetWantedDestination() const { return mWantedDestination; }
    // What the port is connected to now, whoever connected it.
    std::vector<MIDICLConnection> GetConnections() const;
    // The clock this port's time stamps are read on; it lives as long as
    // the port.
    MIDICLClock& GetClock() const;
    // The host's transport, holding the host; null where it has none.
    std::shared_ptr<MIDICLTransport> GetTransport() const;
    // True once the host's server has gone away: nothing sent arrives.
    bool IsHostGone() const;

    void SendNoteOff(std::uint8_t inChannel, std::uint8_t inKey, std::uint8_t inVelocity,
                     MIDICLTimeStamp inTimeStamp = 0);
    void SendNoteOn(std::uint8_t inChannel, std::uint8_t inKey, std::uint8_t inVelocity,
                    MIDICLTimeStamp inTimeStamp = 0);
    // The same, but a refusal is returned as the host's status (0 when
    // accepted) instead of thrown: a real-time thread must not pay for an
    // exception, least of all when a full queue refuses note after note.
    std::int32_t TrySendNoteOff(std::uint8_t inChannel, std::uint8_t inKey, std::uint8_t inVelocity,
                                MIDICLTimeStamp inTimeStamp = 0);
    std::int32_t TrySendNoteOn(std::uint8_t inChannel, std::uint8_t inKey, std::uint8_t inVelocity,
                               MIDICLTimeStamp inTimeStamp = 0);
    void SendPolyAftertouch(std::uint8_t inChannel, std::uint8_t inKey, std::uint8_t inPressure,
                            MIDICLTimeStamp inTimeStamp = 0);
    void SendControlChange(std::uint8_t inChannel, std::uint8_t inControl, std::uint8_t inValue,
                           MIDICLTimeStamp inTimeStamp = 0);
    void SendProgramChange(std::uint8_t inChannel, std::uint8_t inProgram,
                           MIDICLTimeStamp inTimeStamp = 0);
    std::int32_t TrySendProgramChange(std::uint8_t inChannel, std::uint8_t inProgram,
                                      MIDICLTimeStamp inTimeStamp = 0);
    void SendChannelAftertouch(std::uint8_t inChannel, std::uint8_t inPressure,
                               MIDICLTimeStamp inTimeStamp = 0);
    // The least significant 7 bits go first, as on the wire.
    void SendPitchBend(std::uint8_t inChannel, std::uint8_t inLSB, std::uint8_t inMSB,
                       MIDICLTimeStamp inTimeStamp = 0);
    void SendClock(MIDICLTimeStamp inTimeStamp = 0);
    void SendStart(MIDICLTimeStamp inTimeStamp = 0);
    void SendContinue(MIDICLTimeStamp inTimeStamp = 0);
    void SendStop(MIDICLTimeStamp inTimeStamp = 0);
    // One of those (inStatus: kMIDIClockMessage, kMIDIStartMessage,
    // kMIDIContinueMessage, kMIDIStopMessage), returning the host's status (0
    // when accepted): for the clock thread, as TrySendNoteOn.
    std::int32_t TrySendRealTime(std::uint8_t inStatus, MIDICLTimeStamp inTimeStamp = 0);
    // Song Position Pointer: inBeats sixteenths from the top, 0 to 16383,
    // the least significant 7 bits first.
    std::int32_t TrySendSongPosition(std::uint16_t inBeats, MIDICLTimeStamp inTimeStamp = 0);
    // One whole channel message of 2 or 3 bytes as it stands (a controller,
    // pressure, a pitch bend, a program), returning the host's status: for
    // a thread that must not throw, as TrySendNoteOn.
    std::int32_t TrySendMessage(const std::uint8_t* inBytes, std::size_t inLength,
                                MIDICLTimeStamp inTimeStamp = 0);

    // One packet of 1, 2 or 3 raw bytes, sent now. Throws kMIDIPacketListAdd
    // (status 0) when the packet cannot be built, kMIDISend with the host
    // status when the host refuses it.
    void SendSmallPacket(std::uint8_t inOne);
    void SendSmallPacket(std::uint8_t inOne, std::uint8_t inTwo);
    void SendSmallPacket(std::uint8_t inOne, std::uint8_t inTwo, std::uint8_t inThree);
    // The same with a time stamp. It comes first here because a trailing one
    // would make SendSmallPacket(a, b) ambiguous.
    void SendSmallPacketAt(MIDICLTimeStamp inTimeStamp, std::uint8_t inOne);
    void SendSmallPacketAt(MIDICLTimeStamp inTimeStamp, std::uint8_t inOne, std::uint8_t inTwo);
    void SendSmallPacketAt(MIDICLTimeStamp inTimeStamp, std::uint8_t inOne, std::uint8_t inTwo,
                           std::uint8_t inThree);
    // The list stays the caller's; its packets carry their own time stamps.
    void SendPacketList(const MIDICLPacketList* inPacketList);

    // Takes ownership of inBuffer, a whole message from F0 to F7 allocated
    // with new[]. The host sends it in the background and the port releases
    // it when the host is done (SendSysExCompleted). When the host refuses,
    // the buffer is released before kMIDISendSysEx is thrown. One request per
    // port at a time; the port does not check this.
    void SendSysEx(const std::uint8_t* inBuffer, std::uint32_t inLength,
                   MIDICLTimeStamp inTimeStamp = 0);
    void SendSysExCompleted();

    // For a player that stops at inTime (on GetClock), after it has sent
    // the note-offs of its stop: of what it sent, what has not gone out yet
    // (what it handed over ahead of time, due at inTime or later, and what
    // the host could not carry in time) is withdrawn, note-ons and timing
    // clocks, with the note-offs of those note-ons, and anything else goes
    // at inTime. What was due before inTime and still goes on time goes as
    // stamped. Only the thread that sends may call it.
    void WithdrawPending(MIDICLTimeStamp inTime);
    // Sends what the host held back because its receiver had no room (ALSA:
    // note-offs), as far as the receiver takes it now. For the thread that
    // sends, once a clock tick, so that what was held goes even when nothing
    // else is sent.
    void Flush();

private:
    friend class MIDICLClient;
    // Moves the port to another host of the same kind (a JACK server that
    // came back), under its first name and unconnected. Not while another
    // thread uses the port.
    void MoveTo(const std::shared_ptr<MIDICLHost>& inHost);

    static void SysExCompletionProc(void* inRefCon);
    void Send(const MIDICLPacketList& inList);
    std::int32_t TrySendThreeBytes(MIDICLTimeStamp inTimeStamp, std::uint8_t inOne,
                                   std::uint8_t inTwo, std::uint8_t inThree);
    std::int32_t TrySendBytes(const std::uint8_t* inBytes, std::size_t inLength,
                              MIDICLTimeStamp inTimeStamp);
    void SendBytes(const std::uint8_t* inBytes, std::size_t inLength, MIDICLTimeStamp inTimeStamp);
    std::uint8_t ChannelStatus(int inMessage, std::uint8_t inChannel) const;

    const std::uint8_t* mSysExBuffer;
    const std::string mName;
    MIDICLEndpointRef mDestination;
    std::string mWantedDestination;
    std::shared_ptr<MIDICLHost> mHost;
    std::unique_ptr<MIDICLHostOutput> mHostPort;
};
