#include "hosts/jack/MIDICLJackHost.h"

#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "hosts/MIDICLPassThrough.h"
#include "hosts/jack/MIDICLJackInput.h"
#include "hosts/jack/MIDICLJackOutput.h"

namespace {

// libjack reports on stderr unless told otherwise; the library prints
// nothing, it throws.
void MIDICLJackQuiet(const char*) {}

// jack_get_ports hands out a list that the caller frees with jack_free.
class MIDICLJackPortNames {
public:
    explicit MIDICLJackPortNames(jack_client_t* inClient, unsigned long inFlags = JackPortIsInput)
        : mNames(jack_get_ports(inClient, nullptr, JACK_DEFAULT_MIDI_TYPE, inFlags)) {}
    ~MIDICLJackPortNames() { jack_free(mNames); }
    MIDICLJackPortNames(const MIDICLJackPortNames&) = delete;
    MIDICLJackPortNames& operator=(const MIDICLJackPortNames&) = delete;

    int GetCount() const {
        int count = 0;
        while (mNames != nullptr && mNames[count] != nullptr) {
            ++count;
        }
        return count;
    }
    const char* Get(int inIndex) const {
        return inIndex >= 0 && inIndex < GetCount() ? mNames[inIndex] : nullptr;
    }

private:
    const char** mNames;
};

}  // namespace

jack_client_t* MIDICLJackHost::OpenClient(const std::string& inClientName,
                                          jack_status_t& outStatus) {
    jack_set_error_function(MIDICLJackQuiet);
    jack_set_info_function(MIDICLJackQuiet);
    return jack_client_open(inClientName.c_str(), JackNoStartServer, &outStatus);
}

bool MIDICLJackHost::IsPipeWire() {
    const char* version = jack_get_version_string();
    return version != nullptr && std::strstr(version, "PipeWire") != nullptr;
}

std::string MIDICLJackHost::GetDescription() const {
    return IsPipeWire() ? "PipeWire's JACK" : "JACK";
}

std::shared_ptr<MIDICLHost> MIDICLJackHost::Open(const std::string& inClientName) {
    jack_status_t status = jack_status_t(0);
    jack_client_t* client = OpenClient(inClientName, status);
    if (client == nullptr) {
        throw MIDICLException(MIDICLException::kMIDIClientCreate,
                              static_cast<std::int32_t>(status));
    }
    auto host = Make(client);
    host->Activate();
    return host;
}

std::shared_ptr<MIDICLHost> MIDICLJackHost::TryOpen(const std::string& inClientName) {
    jack_status_t status = jack_status_t(0);
    jack_client_t* client = OpenClient(inClientName, status);
    if (client == nullptr) {
        return nullptr;
    }
    auto host = Make(client);
    host->Activate();
    return host;
}

MIDICLJackHost::MIDICLJackHost(jack_client_t* inClient)
    : mClient(inClient),
      mClock(inClient),
      mTransport(inClient, mClosed, IsPipeWire()),
      mGraphSettle(!IsPipeWire()) {}

std::shared_ptr<MIDICLJackHost> MIDICLJackHost::Make(jack_client_t* inClient) {
    return std::shared_ptr<MIDICLJackHost>(new MIDICLJackHost(inClient),
                                           [](MIDICLJackHost* inHost) {
                                               if (inHost->Close()) {
                                                   delete inHost;
                                               }
                                           });
}

bool MIDICLJackHost::Close() {
    if (mClosed.load()) {
        return mCloseDone;
    }
    jack_client_t* client = mClient;
    mCloseDone = mTeardown.Call([client] { jack_deactivate(client); }) &&
                 mTeardown.Call([client] { jack_client_close(client); });
    return mCloseDone;
}

// Whatever comes of the close, the client is not used again: every later
// libjack call of the objects still about is skipped.
void MIDICLJackHost::Abandon() {
    if (!IsServerGone() || mClosed.load()) {
        return;
    }
    Close();
    mClosed.store(true);
    mTeardown.MarkUnresponsive();
}

void MIDICLJackHost::Activate() {
    jack_on_shutdown(mClient, Shutdown, this);
    int status = jack_set_port_registration_callback(mClient, PortRegistered, this);
    if (status == 0) {
        status = jack_set_graph_order_callback(mClient, GraphOrdered, this);
    }
    if (status == 0) {
        status = jack_set_process_callback(mClient, Process, this);
    }
    if (status == 0) {
        status = jack_activate(mClient);
    }
    if (status != 0) {
        throw MIDICLException(MIDICLException::kMIDIClientCreate, status);
    }
    // Joining the graph changes it too.
    GraphChanged();
}

// A server that goes away ends every wait for its cycles.
void MIDICLJackHost::Shutdown(void* inArg) {
    static_cast<MIDICLJackHost*>(inArg)->mServerGone.store(true);
}

// Any port may be a destination that came or went; the shell looks at the
// list again when it next can.
void MIDICLJackHost::PortRegistered(jack_port_id_t, int, void* inArg) {
    static_cast<MIDICLJackHost*>(inArg)->mDestinationsChanged.store(true);
}

int MIDICLJackHost::GraphOrdered(void* inArg) {
    static_cast<MIDICLJackHost*>(inArg)->mGraphSettle.OnGraphOrder();
    return 0;
}

// The whole cycle is placed against the position the clock gives it. The
// clock is published every cycle, idle or not: it follows the server's frame
// time step by step.
int MIDICLJackHost::Process(jack_nframes_t inFrames, void* inArg) {
    auto* host = static_cast<MIDICLJackHost*>(inArg);
    const std::uint64_t cycleStart = host->mClock.PublishCycle(inFrames);
    host->mTransport.Publish(cycleStart, inFrames);
    host->ProcessOutputs(inFrames, cycleStart);
    if (host->mWatchingConnections.load()) {
        host->WatchConnections();
    }
    if (host->mReceivers.GetLimit() > 0) {
        host->mReceivers.BeginPass();
        for (std::size_t i = 0; i < host->mReceivers.GetLimit(); ++i) {
            if (auto* input = static_cast<MIDICLJackInput*>(host->mReceivers.Get(i))) {
                input->Process(inFrames, cycleStart);
            }
        }
        host->mReceivers.EndPass();
    }
    host->mCycleCount.fetch_add(1);
    return 0;
}

// Only the marked and kept ports are visited (see the class comment); with
// none, the table is not entered at all. A mark taken here stands for every
// message queued before it was set (the sender sets it after the message),
// and one set after the take is seen in the next cycle. A slot whose port has
// gone is passed over, and its bits with it.
void MIDICLJackHost::ProcessOutputs(jack_nframes_t inFrames, std::uint64_t inCycleStart) {
    std::array<std::uint64_t, kOutputWords> marks;
    bool any = false;
    for (std::size_t word = 0; word < kOutputWords; ++word) {
        marks[word] = mMarkedOutputs[word].load() != 0 ? mMarkedOutputs[word].exchange(0) : 0;
        any = any || marks[word] != 0 || mKeptOutputs[word] != 0;
    }
    if (!any) {
        return;
    }
    const jack_nframes_t latency = mClock.GetLatencyFrames();
    const bool regular = mClock.IsCycleRegular();
    const double periodUsecs = mClock.GetCyclePeriodUsecs();
    mOutputs.BeginPass();
    for (std::size_t word = 0; word < kOutputWords; ++word) {
        std::uint64_t kept = 0;
        for (std::uint64_t bits = marks[word] | mKeptOutputs[word]; bits != 0; bits &= bits - 1) {
            const int bit = std::countr_zero(bits);
            auto* output = static_cast<MIDICLJackOutput*>(mOutputs.Get(word * 64 + bit));
            const bool isMarked = (marks[word] >> bit) & 1;
            if (output != nullptr &&
                output->Process(inFrames, inCycleStart, latency, isMarked, regular, periodUsecs)) {
                kept |= std::uint64_t(1) << bit;
            }
        }
        mKeptOutputs[word] = kept;
    }
    mOutputs.EndPass();
}

void MIDICLJackHost::WatchConnections() {
    mOutputs.BeginPass();
    for (std::size_t i = 0; i < mOutputs.GetLimit(); ++i) {
        if (auto* output = static_cast<MIDICLJackOutput*>(mOutputs.Get(i))) {
            output->WatchConnection();
        }
    }
    mOutputs.EndPass();
    mReceivers.BeginPass();
    for (std::size_t i = 0; i < mReceivers.GetLimit(); ++i) {
        if (auto* input = static_cast<MIDICLJackInput*>(mReceivers.Get(i))) {
            input->WatchConnection();
        }
    }
    mReceivers.EndPass();
}

// A connection carries messages from the first cycle that runs with it;
// the process callback looks while we wait, so that a message handed over
// once it has seen every port connected is heard. Asked often: `play`
// piped right after start-up waits on this for its first note.
void MIDICLJackHost::WaitForConnections() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(1);
    mWatchingConnections.store(true);
    auto live = [this] {
        for (std::size_t i = 0; i < mOutputs.GetLimit(); ++i) {
            auto* output = static_cast<MIDICLJackOutput*>(mOutputs.Get(i));
            if (output != nullptr && !output->IsConnectionLive()) {
                return false;
            }
        }
        for (std::size_t i = 0; i < mReceivers.GetLimit(); ++i) {
            auto* input = static_cast<MIDICLJackInput*>(mReceivers.Get(i));
            if (input != nullptr && !input->IsConnectionLive()) {
                return false;
            }
        }
        return true;
    };
    while (!live() && !IsServerGone() && Clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    mWatchingConnections.store(false);
}

MIDICLEndpointRef MIDICLJackHost::MakeEndpoint(const jack_port_t* inPort) {
    // Shifted by one: libjack may hand out a port handle whose value is 0.
    return MIDICLEndpointRef{reinterpret_cast<std::uintptr_t>(inPort) + 1};
}

jack_port_t* MIDICLJackHost::GetPort(MIDICLEndpointRef inEndpoint) {
    return reinterpret_cast<jack_port_t*>(static_cast<std::uintptr_t>(inEndpoint.mValue - 1));
}

int MIDICLJackHost::GetNumberOfDestinations() {
    if (IsClosed()) {
        return 0;
    }
    return MIDICLJackPortNames(mClient).GetCount();
}

// Pass-through ports (a bridge's Midi Through) come last, so that port 0
// is one that may sound.
MIDICLEndpointRef MIDICLJackHost::GetDestination(int inIndex) {
    if (IsClosed()) {
        return MIDICLEndpointRef{};
    }
    const MIDICLJackPortNames names(mClient);
    const char* name = names.Get(MIDICLPassThrough::ToHostIndex(
        names.GetCount(), inIndex, [&names](int inHostIndex) { return names.Get(inHostIndex); }));
    jack_port_t* port = name != nullptr ? jack_port_by_name(mClient, name) : nullptr;
    return port != nullptr ? MakeEndpoint(port) : MIDICLEndpointRef{};
}

// The MIDI outputs of other clients, in the server's order.
std::vector<MIDICLEndpointRef> MIDICLJackHost::ListSources() {
    std::vector<MIDICLEndpointRef> sources;
    if (IsClosed()) {
        return sources;
    }
    const MIDICLJackPortNames names(mClient, JackPortIsOutput);
    for (int i = 0; i < names.GetCount(); ++i) {
        jack_port_t* port = jack_port_by_name(mClient, names.Get(i));
        if (port != nullptr && !jack_port_is_mine(mClient, port)) {
            sources.push_back(MakeEndpoint(port));
        }
    }
    return sources;
}

int MIDICLJackHost::GetNumberOfSources() {
    return static_cast<int>(ListSources().size());
}

MIDICLEndpointRef MIDICLJackHost::GetSource(int inIndex) {
    const std::vector<MIDICLEndpointRef> sources = ListSources();
    return inIndex >= 0 && inIndex < static_cast<int>(sources.size()) ? sources[inIndex]
                                                                      : MIDICLEndpointRef{};
}

// A stale handle may still yield a name, so the name must lead back to it.
bool MIDICLJackHost::GetEndpointName(MIDICLEndpointRef inEndpoint, std::string& outName) {
    if (!inEndpoint.IsValid() || IsClosed()) {
        return false;
    }
    const char* name = jack_port_name(GetPort(inEndpoint));
    if (name == nullptr || jack_port_by_name(mClient, name) != GetPort(inEndpoint)) {
        return false;
    }
    outName = name;
    return true;
}

bool MIDICLJackHost::IsOwnEndpoint(MIDICLEndpointRef inEndpoint) {
    std::string name;
    // GetEndpointName says false once the client is closed.
    return GetEndpointName(inEndpoint, name) && jack_port_is_mine(mClient, GetPort(inEndpoint));
}

std::string MIDICLJackHost::MakeUniqueName(const std::string& inName) const {
    const std::string prefix = std::string(jack_get_client_name(mClient)) + ":";
    std::string candidate = inName;
    for (int suffix = 2; jack_port_by_name(mClient, (prefix + candidate).c_str()) != nullptr;
         ++suffix) {
        candidate = inName + "-" + std::to_string(suffix);
    }
    return candidate;
}

// Unregistering a connected port breaks its connections, which the server
// answers with a new graph order.
void MIDICLJackHost::UnregisterPort(jack_port_t* inPort) {
    if (mTeardown.IsUnresponsive()) {
        return;
    }
    std::lock_guard<std::mutex> lock(mRegisterMutex);
    mGraphSettle.Wait(*this);
    const bool connected = jack_port_connected(inPort) > 0;
    jack_client_t* client = mClient;
    if (mTeardown.Call([client, inPort] { jack_port_unregister(client, inPort); }) && connected) {
        GraphChanged();
    }
}

// JACK says nothing about why a registration failed, hence status 0.
jack_port_t* MIDICLJackHost::RegisterPort(const std::string& inName, unsigned long inFlags,
                                          MIDICLException::MIDICLCallNumber inCall) {
    std::lock_guard<std::mutex> lock(mRegisterMutex);
    mGraphSettle.Wait(*this);
    jack_port_t* port = jack_port_register(mClient, MakeUniqueName(inName).c_str(),
                                           JACK_DEFAULT_MIDI_TYPE, inFlags, 0);
    if (port == nullptr) {
        throw MIDICLException(inCall, 0);
    }
    return port;
}

std::unique_ptr<MIDICLHostOutput> MIDICLJackHost::CreateOutputPort(const std::string& inName) {
    jack_port_t* port =
        RegisterPort(inName, JackPortIsOutput, MIDICLException::kMIDIOutputPortCreate);
    jack_ringbuffer_t* queue = jack_ringbuffer_create(MIDICLJackOutput::kQueueBytes);
    if (queue == nullptr) {
        UnregisterPort(port);
        throw MIDICLException(MIDICLException::kMIDIOutputPortCreate, -ENOMEM);
    }
    jack_ringbuffer_mlock(queue);
    auto output = std::make_unique<MIDICLJackOutput>(shared_from_this(), port, queue);
    std::size_t slot = 0;
    if (!mOutputs.Add(output.get(), &slot)) {
        throw MIDICLException(MIDICLException::kMIDIOutputPortCreate, -ENOSPC);
    }
    // Its first cycle clears its buffer, which need not be empty: JACK may
    // give a new port the memory of one that went.
    output->SetSlot(slot);
    MarkOutput(slot);
    return output;
}

std::unique_ptr<MIDICLHostInput> MIDICLJackHost::CreateInputPort(const std::string& inName,
                                                                 MIDICLReadProc inReadProc,
                                                                 void* inRefCon) {
    return CreateReceiver(inName, inReadProc, inRefCon, MIDICLException::kMIDIInputPortCreate);
}

std::unique_ptr<MIDICLHostInput> MIDICLJackHost::CreateDestination(const std::string& inName,
                                                                   MIDICLReadProc inReadProc,
                                                                   void* inRefCon) {
    return CreateReceiver(inName, inReadProc, inRefCon, MIDICLException::kMIDIDestinationCreate);
}

std::unique_ptr<MIDICLHostInput> MIDICLJackHost::CreateReceiver(
    const std::string& inName, MIDICLReadProc inReadProc, void* inRefCon,
    MIDICLException::MIDICLCallNumber inCall) {
    jack_port_t* port = RegisterPort(inName, JackPortIsInput, inCall);
    auto input = std::make_unique<MIDICLJackInput>(shared_from_this(), port, inReadProc, inRefCon);
    if (!mReceivers.Add(input.get())) {
        throw MIDICLException(inCall, -ENOSPC);
    }
    return input;
}
