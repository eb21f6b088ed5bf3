#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "MIDICLException.h"
#include "hosts/MIDICLDrainWait.h"
#include "hosts/MIDICLHost.h"
#include "hosts/MIDICLRealtimeSlots.h"
#include "hosts/jack/MIDICLJackClock.h"
#include "hosts/jack/MIDICLJackGraphSettle.h"
#include "hosts/jack/MIDICLJackTeardown.h"
#include "hosts/jack/MIDICLJackTransport.h"

// A running JACK server as a MIDI host: one JACK client whose process
// callback moves our output ports' queued messages into their buffers and
// hands what reaches our input ports to their owners. The server is never
// started for us.
//
// The callback visits only the output ports that may need it: one a
// message was queued on or withdrawn from since the last cycle (the sender
// marks it, MarkOutput), and one the last pass left something for (a
// message due later, or events in its buffer, which JACK would hand on again
// unless cleared). A port that has sent nothing, or all it had, and whose
// buffer was cleared after its last events costs nothing: its buffer stays
// empty without being touched. So an idle client does no more than publish
// the cycle's time.
//
// The host is made by Open or TryOpen and closes its client when the last
// of its users lets go. A client that could not be closed in time (the
// server does not answer) is left open, and the host with it: the server
// may still call its process callback.
class MIDICLJackHost : public MIDICLHost, public std::enable_shared_from_this<MIDICLJackHost> {
public:
    // Throws MIDICLException(kMIDIClientCreate, jack_status_t or the
    // activation error).
    static std::shared_ptr<MIDICLHost> Open(const std::string& inClientName);
    // Null when no server answers.
    static std::shared_ptr<MIDICLHost> TryOpen(const std::string& inClientName);

    explicit MIDICLJackHost(jack_client_t* inClient);

    const char* GetName() const override { return "jack"; }
    // PipeWire's libjack says so in its version string.
    static bool IsPipeWire();
    std::string GetDescription() const override;
    void WaitForConnections() override;
    int GetMaxOutputPorts() const override { return MIDICLRealtimeSlots::kCapacity; }
    bool IsGone() const override { return IsServerGone(); }
    MIDICLClock& GetClock() override { return mClock; }
    int GetNumberOfSources() override;
    MIDICLEndpointRef GetSource(int inIndex) override;
    MIDICLTransport* GetTransport() override { return &mTransport; }
    int GetNumberOfDestinations() override;
    MIDICLEndpointRef GetDestination(int inIndex) override;
    bool GetEndpointName(MIDICLEndpointRef inEndpoint, std::string& outName) override;
    bool TakeDestinationsChanged() override { return mDestinationsChanged.exchange(false); }
    bool IsOwnEndpoint(MIDICLEndpointRef inEndpoint) override;
    void Abandon() override;
    // After Abandon: the client is closed, and nothing may ask libjack
    // about it or its ports.
    bool IsClosed() const { return mClosed.load(); }
    std::unique_ptr<MIDICLHostOutput> CreateOutputPort(const std::string& inName) override;
    std::unique_ptr<MIDICLHostInput> CreateInputPort(const std::string& inName,
                                                     MIDICLReadProc inReadProc,
                                                     void* inRefCon) override;
    std::unique_ptr<MIDICLHostInput> CreateDestination(const std::string& inName,
                                                       MIDICLReadProc inReadProc,
                                                       void* inRefCon) override;

    jack_client_t* GetClient() const { return mClient; }
    MIDICLRealtimeSlots& GetOutputs() { return mOutputs; }
    MIDICLRealtimeSlots& GetReceivers() { return mReceivers; }
    MIDICLJackClock& GetJackClock() { return mClock; }
    // How many process cycles have completed; it stands still when the
    // server has stopped or is stuck.
    std::uint64_t GetCycleCount() const { return mCycleCount.load(); }
    bool IsServerGone() const { return mServerGone.load(); }
    MIDICLJackTeardown& GetTeardown() { return mTeardown; }
    MIDICLDrainWait& GetDrainWait() { return mDrainWait; }
    // For a port's owner: after its connection was made or broken.
    void GraphChanged() { mGraphSettle.Changed(*this); }
    // Unregisters a port of ours once that is safe (see
    // MIDICLJackGraphSettle), within the teardown's deadline.
    void UnregisterPort(jack_port_t* inPort);
    // For an output port's sending thread: the port in inSlot of the
    // outputs' table has something new for the next cycle.
    void MarkOutput(std::size_t inSlot) {
        mMarkedOutputs[inSlot / 64].fetch_or(std::uint64_t(1) << (inSlot % 64));
    }

    static MIDICLEndpointRef MakeEndpoint(const jack_port_t* inPort);
    static jack_port_t* GetPort(MIDICLEndpointRef inEndpoint);

private:
    std::vector<MIDICLEndpointRef> ListSources();
    static jack_client_t* OpenClient(const std::string& inClientName, jack_status_t& outStatus);
    static std::shared_ptr<MIDICLJackHost> Make(jack_client_t* inClient);
    // Deactivates and closes the client; false when the server did not let
    // us in time.
    bool Close();
    static int Process(jack_nframes_t inFrames, void* inArg);
    void ProcessOutputs(jack_nframes_t inFrames, std::uint64_t inCycleStart);
    static void Shutdown(void* inArg);
    static void PortRegistered(jack_port_id_t inPort, int inRegistered, void* inArg);
    static int GraphOrdered(void* inArg);
    void Activate();
    void WatchConnections();
    jack_port_t* RegisterPort(const std::string& inName, unsigned long inFlags,
                              MIDICLException::MIDICLCallNumber inCall);
    std::string MakeUniqueName(const std::string& inName) const;
    std::unique_ptr<MIDICLHostInput> CreateReceiver(const std::string& inName,
                                                    MIDICLReadProc inReadProc, void* inRefCon,
                                                    MIDICLException::MIDICLCallNumber inCall);

    jack_client_t* mClient;
    MIDICLJackClock mClock;
    MIDICLJackTransport mTransport;
    std::atomic<std::uint64_t> mCycleCount{0};
    std::atomic<bool> mServerGone{false};
    // While set, every cycle asks each port whether it is connected.
    std::atomic<bool> mWatchingConnections{false};
    std::atomic<bool> mClosed{false};
    // Whether Close finished: a close left running must not be freed under.
    bool mCloseDone = false;
    // Set by JACK's notification thread when any port comes or goes.
    std::atomic<bool> mDestinationsChanged{true};
    MIDICLRealtimeSlots mOutputs;
    MIDICLRealtimeSlots mReceivers;
    // One bit per slot of mOutputs: marked by the senders, taken by the
    // process callback; and those the callback keeps for its next cycle,
    // its own.
    static constexpr std::size_t kOutputWords = MIDICLRealtimeSlots::kCapacity / 64;
    std::array<std::atomic<std::uint64_t>, kOutputWords> mMarkedOutputs{};
    std::array<std::uint64_t, kOutputWords> mKeptOutputs{};
    MIDICLJackTeardown mTeardown;
    MIDICLDrainWait mDrainWait;
    MIDICLJackGraphSettle mGraphSettle;
    // Makes a unique name and registering it one step.
    std::mutex mRegisterMutex;
};
