#include "hosts/builtin/MIDICLBuiltinHost.h"

#include <algorithm>
#include <array>
#include <utility>

#include "hosts/builtin/MIDICLBuiltinInput.h"
#include "hosts/builtin/MIDICLBuiltinOutput.h"

namespace {

std::mutex sConfigMutex;
MIDICLBuiltinTestConfig sConfig;

// Completions held back for tests. A fixed table keeps the sending path free
// of allocation even here.
struct MIDICLPendingSysEx {
    MIDICLSysExDoneProc mDone;
    void* mRefCon;
};
std::mutex sPendingMutex;
std::array<MIDICLPendingSysEx, 64> sPending;
std::size_t sNumPending = 0;

// The hosts open, for the test sources to reach.
std::mutex sHostsMutex;
std::vector<MIDICLBuiltinHost*> sHosts;

}  // namespace

std::shared_ptr<MIDICLHost> MIDICLBuiltinHost::Open(const std::string&) {
    MIDICLBuiltinTestConfig config;
    {
        std::lock_guard<std::mutex> lock(sConfigMutex);
        config = sConfig;
    }
    auto host = std::make_shared<MIDICLBuiltinHost>(config);
    host->ThrowIfFaulty(MIDICLException::kMIDIClientCreate);
    return host;
}

void MIDICLBuiltinHost::SetTestConfig(const MIDICLBuiltinTestConfig& inConfig) {
    std::lock_guard<std::mutex> lock(sConfigMutex);
    sConfig = inConfig;
}

void MIDICLBuiltinHost::DeferSysExCompletion(MIDICLSysExDoneProc inDone, void* inRefCon) {
    std::lock_guard<std::mutex> lock(sPendingMutex);
    if (sNumPending < sPending.size()) {
        sPending[sNumPending++] = MIDICLPendingSysEx{inDone, inRefCon};
    }
}

int MIDICLBuiltinHost::CompletePendingSysEx() {
    std::array<MIDICLPendingSysEx, 64> pending;
    std::size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(sPendingMutex);
        pending = sPending;
        count = std::exchange(sNumPending, 0);
    }
    for (std::size_t i = 0; i < count; ++i) {
        pending[i].mDone(pending[i].mRefCon);
    }
    return static_cast<int>(count);
}

MIDICLBuiltinHost::MIDICLBuiltinHost(const MIDICLBuiltinTestConfig& inConfig)
    : mConfig(inConfig), mFailuresLeft(inConfig.mFailures), mNextId(1) {
    for (int i = 1; i <= mConfig.mNumberOfDestinations; ++i) {
        AddEndpoint("test destination " + std::to_string(i), nullptr, nullptr, true);
    }
    std::lock_guard<std::mutex> lock(sHostsMutex);
    sHosts.push_back(this);
}

MIDICLBuiltinHost::~MIDICLBuiltinHost() {
    std::lock_guard<std::mutex> lock(sHostsMutex);
    std::erase(sHosts, this);
}

MIDICLEndpointRef MIDICLBuiltinHost::GetSource(int inIndex) {
    if (inIndex < 0 || inIndex >= mConfig.mNumberOfSources) {
        return MIDICLEndpointRef{};
    }
    return MIDICLEndpointRef{kFirstSourceId + 1 + std::uint64_t(inIndex)};
}

void MIDICLBuiltinHost::SendFromTestSource(int inSource1, const MIDICLPacketList& inList) {
    std::lock_guard<std::mutex> lock(sHostsMutex);
    for (MIDICLBuiltinHost* host : sHosts) {
        host->DeliverFromSource(kFirstSourceId + std::uint64_t(inSource1), inList);
    }
}

void MIDICLBuiltinHost::DeliverFromSource(std::uint64_t inSource, const MIDICLPacketList& inList) {
    std::vector<std::shared_ptr<MIDICLBuiltinEndpoint>> listening;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        for (const auto& input : mInputs) {
            if (input->GetSource() == inSource) {
                listening.push_back(input);
            }
        }
    }
    for (const auto& input : listening) {
        input->Deliver(inList);
    }
}

std::int32_t MIDICLBuiltinHost::TakeFault(MIDICLException::MIDICLCallNumber inCall) {
    if (mConfig.mFailingCall != inCall) {
        return 0;
    }
    return mFailuresLeft.fetch_sub(1) > 0 ? mConfig.mFailStatus : 0;
}

void MIDICLBuiltinHost::ThrowIfFaulty(MIDICLException::MIDICLCallNumber inCall) {
    const std::int32_t fault = TakeFault(inCall);
    if (fault != 0) {
        throw MIDICLException(inCall, fault);
    }
}

int MIDICLBuiltinHost::GetNumberOfDestinations() {
    std::lock_guard<std::mutex> lock(mMutex);
    return static_cast<int>(mDestinations.size());
}

MIDICLEndpointRef MIDICLBuiltinHost::GetDestination(int inIndex) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (inIndex < 0 || inIndex >= static_cast<int>(mDestinations.size())) {
        return MIDICLEndpointRef{};
    }
    return MIDICLEndpointRef{mDestinations[inIndex]->GetId()};
}

bool MIDICLBuiltinHost::GetEndpointName(MIDICLEndpointRef inEndpoint, std::string& outName) {
    if (IsTestSource(inEndpoint)) {
        const std::uint64_t source1 = inEndpoint.mValue - kFirstSourceId;
        if (source1 > std::uint64_t(mConfig.mNumberOfSources)) {
            return false;
        }
        outName = "test source " + std::to_string(source1);
        return true;
    }
    const std::shared_ptr<MIDICLBuiltinEndpoint> endpoint = FindEndpoint(inEndpoint);
    if (!endpoint) {
        return false;
    }
    outName = endpoint->GetName();
    return true;
}

std::shared_ptr<MIDICLBuiltinEndpoint> MIDICLBuiltinHost::FindEndpoint(
    MIDICLEndpointRef inEndpoint) {
    std::lock_guard<std::mutex> lock(mMutex);
    for (const auto* list : {&mDestinations, &mInputs}) {
        for (const auto& endpoint : *list) {
            if (endpoint->GetId() == inEndpoint.mValue) {
                return endpoint;
            }
        }
    }
    return nullptr;
}

std::shared_ptr<MIDICLBuiltinEndpoint> MIDICLBuiltinHost::AddEndpoint(const std::string& inName,
                                                                      MIDICLReadProc inReadProc,
                                                                      void* inRefCon,
                                                                      bool inIsDestination) {
    std::lock_guard<std::mutex> lock(mMutex);
    auto endpoint =
        std::make_shared<MIDICLBuiltinEndpoint>(mNextId++, inName, inReadProc, inRefCon);
    (inIsDestination ? mDestinations : mInputs).push_back(endpoint);
    mDestinationsChanged.store(mDestinationsChanged.load() || inIsDestination);
    return endpoint;
}

void MIDICLBuiltinHost::RemoveEndpoint(const MIDICLBuiltinEndpoint* inEndpoint) {
    std::lock_guard<std::mutex> lock(mMutex);
    for (auto* list : {&mDestinations, &mInputs}) {
        std::erase_if(*list,
                      [inEndpoint](const auto& endpoint) { return endpoint.get() == inEndpoint; });
    }
    mDestinationsChanged.store(true);
}

std::unique_ptr<MIDICLHostOutput> MIDICLBuiltinHost::CreateOutputPort(const std::string&) {
    ThrowIfFaulty(MIDICLException::kMIDIOutputPortCreate);
    return std::make_unique<MIDICLBuiltinOutput>(shared_from_this());
}

std::unique_ptr<MIDICLHostInput> MIDICLBuiltinHost::CreateInputPort(const std::string& inName,
                                                                    MIDICLReadProc inReadProc,
                                                                    void* inRefCon) {
    ThrowIfFaulty(MIDICLException::kMIDIInputPortCreate);
    return std::make_unique<MIDICLBuiltinInput>(shared_from_this(),
                                                AddEndpoint(inName, inReadProc, inRefCon, false));
}

std::unique_ptr<MIDICLHostInput> MIDICLBuiltinHost::CreateDestination(const std::string& inName,
                                                                      MIDICLReadProc inReadProc,
                                                                      void* inRefCon) {
    ThrowIfFaulty(MIDICLException::kMIDIDestinationCreate);
    return std::make_unique<MIDICLBuiltinInput>(shared_from_this(),
                                                AddEndpoint(inName, inReadProc, inRefCon, true));
}
