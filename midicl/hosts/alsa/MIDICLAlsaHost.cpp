#include "hosts/alsa/MIDICLAlsaHost.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include "MIDICLMonotonicClock.h"
#include "hosts/MIDICLSignalBlock.h"
#include "hosts/alsa/MIDICLAlsaCodec.h"
#include "hosts/alsa/MIDICLAlsaInput.h"
#include "hosts/alsa/MIDICLAlsaOutput.h"
#include "hosts/alsa/MIDICLAlsaPortRank.h"

namespace {

// alsa-lib reports errors on stderr unless told otherwise; the library
// prints nothing, it throws.
void MIDICLAlsaQuiet(const char*, int, const char*, int, const char*, ...) {}

constexpr unsigned kOutputCaps = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
// Without SUBS_WRITE nobody else can connect to an input port, so it is not
// listed as a destination; we connect its sources ourselves.
constexpr unsigned kInputCaps = SND_SEQ_PORT_CAP_WRITE;
constexpr unsigned kDestinationCaps = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned kPortType = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
}  // namespace

int MIDICLAlsaHost::OpenSequencer(const std::string& inClientName, snd_seq_t*& outSequencer) {
    snd_lib_error_set_handler(MIDICLAlsaQuiet);
    int status = snd_seq_open(&outSequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (status < 0) {
        return status;
    }
    status = snd_seq_set_client_name(outSequencer, inClientName.c_str());
    if (status < 0) {
        snd_seq_close(outSequencer);
    }
    return status;
}

std::shared_ptr<MIDICLHost> MIDICLAlsaHost::Open(const std::string& inClientName) {
    snd_seq_t* sequencer = nullptr;
    const int status = OpenSequencer(inClientName, sequencer);
    if (status < 0) {
        throw MIDICLException(MIDICLException::kMIDIClientCreate, status);
    }
    return std::make_shared<MIDICLAlsaHost>(sequencer);
}

std::shared_ptr<MIDICLHost> MIDICLAlsaHost::TryOpen(const std::string& inClientName) {
    snd_seq_t* sequencer = nullptr;
    if (OpenSequencer(inClientName, sequencer) < 0) {
        return nullptr;
    }
    return std::make_shared<MIDICLAlsaHost>(sequencer);
}

MIDICLAlsaHost::MIDICLAlsaHost(snd_seq_t* inSequencer)
    : mSequencer(inSequencer), mClientId(snd_seq_client_id(inSequencer)), mStopFd(-1) {
    StartQueue();
}

void MIDICLAlsaHost::StartQueue() {
    const int queue = snd_seq_alloc_queue(mSequencer);
    if (queue < 0) {
        return;
    }
    if (snd_seq_start_queue(mSequencer, queue, nullptr) < 0 ||
        snd_seq_drain_output(mSequencer) < 0) {
        snd_seq_free_queue(mSequencer, queue);
        return;
    }
    mQueueStartNS = MIDICLMonotonicClock::NowNS();
    mQueue = queue;
}

snd_seq_real_time_t MIDICLAlsaHost::ToQueueTime(MIDICLTimeStamp inStamp) const {
    const std::uint64_t ns = inStamp > mQueueStartNS ? inStamp - mQueueStartNS : 0;
    return {static_cast<unsigned>(ns / 1000000000u), static_cast<unsigned>(ns % 1000000000u)};
}

void MIDICLAlsaHost::Schedule(snd_seq_event_t& ioEvent, MIDICLTimeStamp inStamp) const {
    snd_seq_real_time_t time = ToQueueTime(inStamp);
    snd_seq_ev_schedule_real(&ioEvent, mQueue, 0, &time);
}

// Tags set the ports apart, where two of ours feed one destination.
void MIDICLAlsaHost::Unschedule(unsigned char inTag, MIDICLTimeStamp inFrom) {
    snd_seq_remove_events_t* remove = nullptr;
    snd_seq_remove_events_alloca(&remove);
    snd_seq_remove_events_set_condition(
        remove, SND_SEQ_REMOVE_OUTPUT | SND_SEQ_REMOVE_TIME_AFTER | SND_SEQ_REMOVE_TAG_MATCH);
    snd_seq_remove_events_set_queue(remove, mQueue);
    snd_seq_timestamp_t from{};
    from.time = ToQueueTime(inFrom);
    snd_seq_remove_events_set_time(remove, &from);
    snd_seq_remove_events_set_tag(remove, inTag);
    snd_seq_remove_events(mSequencer, remove);
}

// Ports are gone by now (each keeps us alive), and with them everything
// they held or queued; see the class comment for why there is nothing to drain.
MIDICLAlsaHost::~MIDICLAlsaHost() {
    if (mInputThread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(mStopFd, &one, sizeof one);
        mInputThread.join();
    }
    if (mStopFd >= 0) {
        close(mStopFd);
    }
    if (mQueue >= 0) {
        snd_seq_free_queue(mSequencer, mQueue);
    }
    snd_seq_close(mSequencer);
}

// Client 0 is the kernel's own (timer, announcements), never a destination
// or a source.
void MIDICLAlsaHost::ForEachPort(
    const std::function<void(int inClient, snd_seq_client_info_t* inClientInfo,
                             snd_seq_port_info_t* inPortInfo)>& inVisit) {
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(mSequencer, client) >= 0) {
        const int clientId = snd_seq_client_info_get_client(client);
        if (clientId == SND_SEQ_CLIENT_SYSTEM) {
            continue;
        }
        snd_seq_port_info_set_client(port, clientId);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(mSequencer, port) >= 0) {
            inVisit(clientId, client, port);
        }
    }
}

std::vector<MIDICLAlsaHost::MIDICLAlsaDestination> MIDICLAlsaHost::ListDestinations() {
    std::vector<MIDICLAlsaDestination> destinations;
    ForEachPort([&](int inClient, snd_seq_client_info_t* inClientInfo,
                    snd_seq_port_info_t* inPortInfo) {
        if (MIDICLAlsaPortRank::IsDestination(snd_seq_port_info_get_capability(inPortInfo))) {
            const int rank = MIDICLAlsaPortRank::Rank(snd_seq_client_info_get_name(inClientInfo),
                                                      snd_seq_port_info_get_type(inPortInfo));
            destinations.push_back({rank, inClient, snd_seq_port_info_get_port(inPortInfo)});
        }
    });
    std::sort(destinations.begin(), destinations.end(),
              [](const MIDICLAlsaDestination& inA, const MIDICLAlsaDestination& inB) {
                  return std::tie(inA.mRank, inA.mClient, inA.mPort) <
                         std::tie(inB.mRank, inB.mClient, inB.mPort);
              });
    return destinations;
}

// The readable ports of other clients that allow routing, by client:port.
std::vector<MIDICLEndpointRef> MIDICLAlsaHost::ListSources() {
    constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    std::vector<MIDICLEndpointRef> sources;
    ForEachPort([&](int inClient, snd_seq_client_info_t*, snd_seq_port_info_t* inPortInfo) {
        const unsigned caps = snd_seq_port_info_get_capability(inPortInfo);
        if (inClient != mClientId && (caps & kReadable) == kReadable &&
            (caps & SND_SEQ_PORT_CAP_NO_EXPORT) == 0) {
            sources.push_back(
                MIDICLAlsaCodec::MakeEndpoint(inClient, snd_seq_port_info_get_port(inPortInfo)));
        }
    });
    return sources;
}

int MIDICLAlsaHost::GetNumberOfSources() {
    return static_cast<int>(ListSources().size());
}

MIDICLEndpointRef MIDICLAlsaHost::GetSource(int inIndex) {
    const std::vector<MIDICLEndpointRef> sources = ListSources();
    return inIndex >= 0 && inIndex < static_cast<int>(sources.size()) ? sources[inIndex]
                                                                      : MIDICLEndpointRef{};
}

int MIDICLAlsaHost::GetNumberOfDestinations() {
    return static_cast<int>(ListDestinations().size());
}

MIDICLEndpointRef MIDICLAlsaHost::GetDestination(int inIndex) {
    const std::vector<MIDICLAlsaDestination> destinations = ListDestinations();
    if (inIndex < 0 || static_cast<std::size_t>(inIndex) >= destinations.size()) {
        return MIDICLEndpointRef{};
    }
    const MIDICLAlsaDestination& found = destinations[static_cast<std::size_t>(inIndex)];
    return MIDICLAlsaCodec::MakeEndpoint(found.mClient, found.mPort);
}

bool MIDICLAlsaHost::GetEndpointName(MIDICLEndpointRef inEndpoint, std::string& outName) {
    int clientId = 0;
    int portId = 0;
    if (!MIDICLAlsaCodec::SplitEndpoint(inEndpoint, clientId, portId)) {
        return false;
    }
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    if (snd_seq_get_any_client_info(mSequencer, clientId, client) < 0 ||
        snd_seq_get_any_port_info(mSequencer, clientId, portId, port) < 0) {
        return false;
    }
    outName = MIDICLAlsaCodec::FormatName(snd_seq_client_info_get_name(client),
                                          snd_seq_port_info_get_name(port));
    return true;
}

std::unique_ptr<MIDICLHostOutput> MIDICLAlsaHost::CreateOutputPort(const std::string& inName) {
    const int port = snd_seq_create_simple_port(mSequencer, inName.c_str(), kOutputCaps, kPortType);
    if (port < 0) {
        throw MIDICLException(MIDICLException::kMIDIOutputPortCreate, port);
    }
    return std::make_unique<MIDICLAlsaOutput>(shared_from_this(), port);
}

std::unique_ptr<MIDICLHostInput> MIDICLAlsaHost::CreateInputPort(const std::string& inName,
                                                                 MIDICLReadProc inReadProc,
                                                                 void* inRefCon) {
    return CreateReceiver(inName, kInputCaps, inReadProc, inRefCon,
                          MIDICLException::kMIDIInputPortCreate);
}

std::unique_ptr<MIDICLHostInput> MIDICLAlsaHost::CreateDestination(const std::string& inName,
                                                                   MIDICLReadProc inReadProc,
                                                                   void* inRefCon) {
    return CreateReceiver(inName, kDestinationCaps, inReadProc, inRefCon,
                          MIDICLException::kMIDIDestinationCreate);
}

std::unique_ptr<MIDICLHostInput> MIDICLAlsaHost::CreateReceiver(
    const std::string& inName, unsigned inCaps, MIDICLReadProc inReadProc, void* inRefCon,
    MIDICLException::MIDICLCallNumber inCall) {
    StartInputThread();
    const int port = snd_seq_create_simple_port(mSequencer, inName.c_str(), inCaps, kPortType);
    if (port < 0) {
        throw MIDICLException(inCall, port);
    }
    auto input = std::make_unique<MIDICLAlsaInput>(shared_from_this(), port, inReadProc, inRefCon);
    if (!mReceivers.Add(input.get())) {
        throw MIDICLException(inCall, -ENOSPC);
    }
    return input;
}

void MIDICLAlsaHost::StartInputThread() {
    std::lock_guard<std::mutex> lock(mThreadMutex);
    if (mInputThread.joinable()) {
        return;
    }
    mStopFd = eventfd(0, EFD_CLOEXEC);
    // The application's signals are for its own threads.
    MIDICLSignalBlock block;
    mInputThread = std::thread(&MIDICLAlsaHost::RunInputThread, this);
}

void MIDICLAlsaHost::RunInputThread() {
    const int count = snd_seq_poll_descriptors_count(mSequencer, POLLIN);
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    fds[0] = pollfd{mStopFd, POLLIN, 0};
    snd_seq_poll_descriptors(mSequencer, fds.data() + 1, static_cast<unsigned>(count), POLLIN);
    while (poll(fds.data(), fds.size(), -1) >= 0 || errno == EINTR) {
        if (fds[0].revents != 0) {
            return;
        }
        snd_seq_event_t* event = nullptr;
        while (snd_seq_event_input(mSequencer, &event) >= 0 && event != nullptr) {
            Dispatch(*event);
        }
    }
}

bool MIDICLAlsaHost::TakeDestinationsChanged() {
    if (mAnnouncements == 0) {
        mAnnouncements = ListenToAnnouncements() ? 1 : -1;
    }
    return mDestinationsChanged.exchange(false) || mAnnouncements < 0;
}

// A private port (no one may route to it, so it is no destination) takes
// the system's announcements to the input thread.
bool MIDICLAlsaHost::ListenToAnnouncements() {
    const int port = snd_seq_create_simple_port(mSequencer, "announcements",
                                                SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                                SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) {
        return false;
    }
    if (snd_seq_connect_from(mSequencer, port, SND_SEQ_CLIENT_SYSTEM,
                             SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
        snd_seq_delete_simple_port(mSequencer, port);
        return false;
    }
    StartInputThread();
    return true;
}

bool MIDICLAlsaHost::IsOwnEndpoint(MIDICLEndpointRef inEndpoint) {
    int client = 0;
    int port = 0;
    return MIDICLAlsaCodec::SplitEndpoint(inEndpoint, client, port) && client == mClientId;
}

void MIDICLAlsaHost::Dispatch(const snd_seq_event_t& inEvent) {
    switch (inEvent.type) {
        case SND_SEQ_EVENT_CLIENT_START:
        case SND_SEQ_EVENT_CLIENT_EXIT:
        case SND_SEQ_EVENT_CLIENT_CHANGE:
        case SND_SEQ_EVENT_PORT_START:
        case SND_SEQ_EVENT_PORT_EXIT:
        case SND_SEQ_EVENT_PORT_CHANGE:
            mDestinationsChanged.store(true);
            return;
        default:
            break;
    }
    const MIDICLTimeStamp now = MIDICLMonotonicClock::NowNS();
    if (inEvent.type == SND_SEQ_EVENT_SYSEX) {
        // Long messages arrive in several lists, each as full as a list gets.
        const auto* bytes = static_cast<const std::uint8_t*>(inEvent.data.ext.ptr);
        const std::size_t length = inEvent.data.ext.len;
        for (std::size_t offset = 0; offset < length; offset += MIDICLPacketList::kMaxBytes) {
            MIDICLPacketList list;
            list.Add(now, bytes + offset, std::min(length - offset, MIDICLPacketList::kMaxBytes));
            Deliver(inEvent.dest.port, list);
        }
        return;
    }
    std::uint8_t bytes[3];
    MIDICLPacketList list;
    if (list.Add(now, bytes, MIDICLAlsaCodec::Decode(inEvent, bytes, sizeof bytes))) {
        Deliver(inEvent.dest.port, list);
    }
}

void MIDICLAlsaHost::Deliver(int inPort, const MIDICLPacketList& inList) {
    mReceivers.BeginPass();
    for (std::size_t i = 0; i < mReceivers.GetLimit(); ++i) {
        const auto* input = static_cast<const MIDICLAlsaInput*>(mReceivers.Get(i));
        if (input != nullptr && input->GetPort() == inPort) {
            input->Receive(inList);
        }
    }
    mReceivers.EndPass();
}

std::vector<snd_seq_addr_t> MIDICLAlsaHost::GetSubscribers(int inPort,
                                                           snd_seq_query_subs_type_t inType) const {
    std::vector<snd_seq_addr_t> subscribers;
    snd_seq_query_subscribe_t* query = nullptr;
    snd_seq_query_subscribe_alloca(&query);
    const snd_seq_addr_t root{static_cast<unsigned char>(mClientId),
                              static_cast<unsigned char>(inPort)};
    snd_seq_query_subscribe_set_root(query, &root);
    snd_seq_query_subscribe_set_type(query, inType);
    snd_seq_query_subscribe_set_index(query, 0);
    while (snd_seq_query_port_subscribers(mSequencer, query) >= 0) {
        subscribers.push_back(*snd_seq_query_subscribe_get_addr(query));
        snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
    }
    return subscribers;
}
