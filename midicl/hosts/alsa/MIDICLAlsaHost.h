#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MIDICLException.h"
#include "hosts/MIDICLDrainWait.h"
#include "hosts/MIDICLHost.h"
#include "hosts/MIDICLRealtimeSlots.h"
#include "hosts/alsa/MIDICLAlsaDrainer.h"

// The ALSA sequencer as a MIDI host: one sequencer client, opened
// non-blocking so that a full receiver is a send error rather than a stalled
// playback thread. Incoming events go to a thread of ours that starts with
// the first receiving port.
//
// Destinations are listed with the one most likely to sound first (see
// MIDICLAlsaPortRank): synthesizers, applications, hardware MIDI ports, then
// pass-through ports such as Midi Through; client:port order within each.
//
// What goes out is handed over direct: snd_seq_event_output_direct gives each
// event to the kernel before it returns, so nothing of ours is in alsa-lib's
// output buffer. An event due now goes to its receiver at once; one stamped
// later (a port with a latency) waits in the kernel on our queue, which runs
// on real time from its start, and its port takes back what must not sound
// (MIDICLAlsaScheduled). What a port can still wait for is the note-offs a
// full receiver refused and the port holds. Without a queue (the kernel
// refused one) everything goes at once.
class MIDICLAlsaHost : public MIDICLHost, public std::enable_shared_from_this<MIDICLAlsaHost> {
public:
    // Throws MIDICLException(kMIDIClientCreate, negative error code).
    static std::shared_ptr<MIDICLHost> Open(const std::string& inClientName);
    // Null when the sequencer device does not open.
    static std::shared_ptr<MIDICLHost> TryOpen(const std::string& inClientName);

    explicit MIDICLAlsaHost(snd_seq_t* inSequencer);
    ~MIDICLAlsaHost() override;

    const char* GetName() const override { return "alsa"; }
    std::string GetDescription() const override { return "ALSA sequencer"; }
    int GetNumberOfSources() override;
    MIDICLEndpointRef GetSource(int inIndex) override;
    int GetNumberOfDestinations() override;
    MIDICLEndpointRef GetDestination(int inIndex) override;
    bool GetEndpointName(MIDICLEndpointRef inEndpoint, std::string& outName) override;
    // From the first call on, the system's announcements of clients and
    // ports that come and go set the answer; where they cannot be had,
    // every call says true.
    bool TakeDestinationsChanged() override;
    bool IsOwnEndpoint(MIDICLEndpointRef inEndpoint) override;
    std::unique_ptr<MIDICLHostOutput> CreateOutputPort(const std::string& inName) override;
    std::unique_ptr<MIDICLHostInput> CreateInputPort(const std::string& inName,
                                                     MIDICLReadProc inReadProc,
                                                     void* inRefCon) override;
    std::unique_ptr<MIDICLHostInput> CreateDestination(const std::string& inName,
                                                       MIDICLReadProc inReadProc,
                                                       void* inRefCon) override;

    snd_seq_t* GetSequencer() const { return mSequencer; }
    // For a port that closes, so that a note-off a busy receiver refused
    // still goes, while a receiver that stopped holds up no exit for more
    // than a moment.
    MIDICLDrainWait& GetDrainWait() { return mDrainWait; }
    // Where a port at a stop leaves what its receiver still refuses.
    MIDICLAlsaDrainer& GetDrainer() { return mDrainer; }
    int GetClientId() const { return mClientId; }
    // The ports subscribed to read from our port inPort (READ) or to write
    // to it (WRITE), as the sequencer lists them now.
    std::vector<snd_seq_addr_t> GetSubscribers(int inPort, snd_seq_query_subs_type_t inType) const;
    MIDICLRealtimeSlots& GetReceivers() { return mReceivers; }
    // Whether an event stamped inStamp waits on the queue rather than going
    // at once: a queue runs, and the stamp is later than inNow.
    bool SchedulesAt(MIDICLTimeStamp inStamp, MIDICLTimeStamp inNow) const {
        return mQueue >= 0 && inStamp > inNow;
    }
    // Puts the event on the queue, due at inStamp (CLOCK_MONOTONIC ns).
    void Schedule(snd_seq_event_t& ioEvent, MIDICLTimeStamp inStamp) const;
    // Takes off the queue, before the kernel delivers them, the events tagged
    // inTag that are due at inFrom or later.
    void Unschedule(unsigned char inTag, MIDICLTimeStamp inFrom);

private:
    struct MIDICLAlsaDestination {
        int mRank;
        int mClient;
        int mPort;
    };

    static int OpenSequencer(const std::string& inClientName, snd_seq_t*& outSequencer);
    // Every destination, in the order they are numbered.
    void ForEachPort(const std::function<void(int inClient, snd_seq_client_info_t* inClientInfo,
                                              snd_seq_port_info_t* inPortInfo)>& inVisit);
    std::vector<MIDICLAlsaDestination> ListDestinations();
    std::vector<MIDICLEndpointRef> ListSources();
    std::unique_ptr<MIDICLHostInput> CreateReceiver(const std::string& inName, unsigned inCaps,
                                                    MIDICLReadProc inReadProc, void* inRefCon,
                                                    MIDICLException::MIDICLCallNumber inCall);
    // The queue late events wait on, started now; none where the kernel
    // refuses one.
    void StartQueue();
    snd_seq_real_time_t ToQueueTime(MIDICLTimeStamp inStamp) const;
    void StartInputThread();
    bool ListenToAnnouncements();
    void RunInputThread();
    void Dispatch(const snd_seq_event_t& inEvent);
    void Deliver(int inPort, const MIDICLPacketList& inList);

    snd_seq_t* mSequencer;
    int mClientId;
    int mQueue = -1;
    // When the queue started, on CLOCK_MONOTONIC: its real time 0.
    MIDICLTimeStamp mQueueStartNS = 0;
    MIDICLRealtimeSlots mReceivers;
    std::mutex mThreadMutex;
    std::thread mInputThread;
    int mStopFd;
    // 0 before the first TakeDestinationsChanged, 1 when announcements come,
    // -1 when they cannot.
    int mAnnouncements = 0;
    std::atomic<bool> mDestinationsChanged{true};
    // What is left of the time ports may wait for receivers as they close.
    MIDICLDrainWait mDrainWait;
    // Empty by the time the host goes: every port leaves it as it closes.
    MIDICLAlsaDrainer mDrainer;
};
