#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "MIDICLException.h"
#include "hosts/MIDICLHost.h"
#include "hosts/MIDICLHostOutput.h"
#include "hosts/builtin/MIDICLBuiltinEndpoint.h"
#include "hosts/builtin/MIDICLBuiltinTestConfig.h"

// The host that is always there: destinations are the virtual destinations
// this process made, so the program runs where no MIDI service does. It also
// serves as the tests' host, configured through the static test API.
class MIDICLBuiltinHost : public MIDICLHost,
                          public std::enable_shared_from_this<MIDICLBuiltinHost> {
public:
    // Throws MIDICLException(kMIDIClientCreate, status) when the test
    // configuration says so.
    static std::shared_ptr<MIDICLHost> Open(const std::string& inClientName);

    // Test API: the configuration used by built-in hosts opened from now on.
    static void SetTestConfig(const MIDICLBuiltinTestConfig& inConfig);
    static void ResetTestConfig() { SetTestConfig(MIDICLBuiltinTestConfig{}); }
    // Test API: runs the completions held back by mDeferSysExCompletion and
    // returns how many ran.
    static int CompletePendingSysEx();
    // Test API: sends inList from test source inSource1 (1-based) of every
    // built-in host open, on the caller's thread, to the input ports
    // connected to it.
    static void SendFromTestSource(int inSource1, const MIDICLPacketList& inList);
    static bool IsTestSource(MIDICLEndpointRef inEndpoint) {
        return inEndpoint.mValue > kFirstSourceId;
    }

    explicit MIDICLBuiltinHost(const MIDICLBuiltinTestConfig& inConfig);
    ~MIDICLBuiltinHost() override;

    const char* GetName() const override { return "none"; }
    std::string GetDescription() const override { return "built-in"; }
    int GetNumberOfSources() override { return mConfig.mNumberOfSources; }
    MIDICLEndpointRef GetSource(int inIndex) override;
    int GetNumberOfDestinations() override;
    MIDICLEndpointRef GetDestination(int inIndex) override;
    bool GetEndpointName(MIDICLEndpointRef inEndpoint, std::string& outName) override;
    bool TakeDestinationsChanged() override { return mDestinationsChanged.exchange(false); }
    // The test destinations stand for other programs' ports.
    bool IsOwnEndpoint(MIDICLEndpointRef inEndpoint) override {
        return inEndpoint.mValue > std::uint64_t(mConfig.mNumberOfDestinations) &&
               !IsTestSource(inEndpoint);
    }
    std::unique_ptr<MIDICLHostOutput> CreateOutputPort(const std::string& inName) override;
    std::unique_ptr<MIDICLHostInput> CreateInputPort(const std::string& inName,
                                                     MIDICLReadProc inReadProc,
                                                     void* inRefCon) override;
    std::unique_ptr<MIDICLHostInput> CreateDestination(const std::string& inName,
                                                       MIDICLReadProc inReadProc,
                                                       void* inRefCon) override;

    // For the host's own objects.
    std::int32_t TakeFault(MIDICLException::MIDICLCallNumber inCall);
    std::shared_ptr<MIDICLBuiltinEndpoint> FindEndpoint(MIDICLEndpointRef inEndpoint);
    void RemoveEndpoint(const MIDICLBuiltinEndpoint* inEndpoint);
    bool DefersSysExCompletion() const { return mConfig.mDeferSysExCompletion; }
    static void DeferSysExCompletion(MIDICLSysExDoneProc inDone, void* inRefCon);

private:
    // Source ids lie far above any id a made endpoint gets.
    static constexpr std::uint64_t kFirstSourceId = std::uint64_t(1) << 40;

    void DeliverFromSource(std::uint64_t inSource, const MIDICLPacketList& inList);
    std::shared_ptr<MIDICLBuiltinEndpoint> AddEndpoint(const std::string& inName,
                                                       MIDICLReadProc inReadProc, void* inRefCon,
                                                       bool inIsDestination);
    void ThrowIfFaulty(MIDICLException::MIDICLCallNumber inCall);

    const MIDICLBuiltinTestConfig mConfig;
    std::atomic<int> mFailuresLeft;
    std::atomic<bool> mDestinationsChanged{true};
    std::mutex mMutex;
    std::uint64_t mNextId;
    // Destinations in the order they were made; input ports are kept apart
    // because nobody may send to them.
    std::vector<std::shared_ptr<MIDICLBuiltinEndpoint>> mDestinations;
    std::vector<std::shared_ptr<MIDICLBuiltinEndpoint>> mInputs;
};
