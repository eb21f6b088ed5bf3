#pragma once

#include <alsa/asoundlib.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "MIDICLException.h"
#include "hosts/MIDICLHost.h"
#include "hosts/MIDICLRealtimeSlots.h"

// The ALSA sequencer as a MIDI host: one sequencer client, opened
// non-blocking so that a full kernel pool is a send error rather than a
// stalled playback thread. Incoming events go to a thread of ours that starts
// with the first receiving port.
class MIDICLAlsaHost : public MIDICLHost, public std::enable_shared_from_this<MIDICLAlsaHost> {
public:
    // Throws MIDICLException(kMIDIClientCreate, negative error code).
    static std::shared_ptr<MIDICLHost> Open(const std::string& inClientName);
    // Null when the sequencer device does not open.
    static std::shared_ptr<MIDICLHost> TryOpen(const std::string& inClientName);

    explicit MIDICLAlsaHost(snd_seq_t* inSequencer);
    ~MIDICLAlsaHost() override;

    const char* GetName() const override { return "alsa"; }
    int GetNumberOfDestinations() override;
    MIDICLEndpointRef GetDestination(int inIndex) override;
    bool GetEndpointName(MIDICLEndpointRef inEndpoint, std::string& outName) override;
    std::unique_ptr<MIDICLHostOutput> CreateOutputPort(const std::string& inName) override;
    std::unique_ptr<MIDICLHostInput> CreateInputPort(const std::string& inName,
                                                     MIDICLReadProc inReadProc,
                                                     void* inRefCon) override;
    std::unique_ptr<MIDICLHostInput> CreateDestination(const std::string& inName,
                                                       MIDICLReadProc inReadProc,
                                                       void* inRefCon) override;

    snd_seq_t* GetSequencer() const { return mSequencer; }
    // Waits, within a bound, until the kernel has delivered every event
    // we sent.
    void DrainOutput();
    int GetClientId() const { return mClientId; }
    MIDICLRealtimeSlots& GetReceivers() { return mReceivers; }

private:
    static int OpenSequencer(const std::string& inClientName, snd_seq_t*& outSequencer);
    // Calls inVisit for each destination in client:port order until it
    // returns false.
    void ForEachDestination(const std::function<bool(int inClient, int inPort)>& inVisit);
    std::unique_ptr<MIDICLHostInput> CreateReceiver(const std::string& inName, unsigned inCaps,
                                                    MIDICLReadProc inReadProc, void* inRefCon,
                                                    MIDICLException::MIDICLCallNumber inCall);
    void StartInputThread();
    void RunInputThread();
    void Dispatch(const snd_seq_event_t& inEvent);
    void Deliver(int inPort, const MIDICLPacketList& inList);

    snd_seq_t* mSequencer;
    int mClientId;
    MIDICLRealtimeSlots mReceivers;
    std::mutex mThreadMutex;
    std::thread mInputThread;
    int mStopFd;
};
