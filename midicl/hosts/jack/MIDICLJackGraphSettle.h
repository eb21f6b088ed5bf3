#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

class MIDICLJackHost;

// jackd's library (JACK2) keeps a list of this client's ports that it walks on
// its notification thread whenever the server recomputes latencies, which
// the server does after each change of the graph, a cycle or more later;
// registering or unregistering a port changes that list on the caller's
// thread with no lock. A port registered or unregistered right after one of
// our own connections changed the graph could therefore pull the list from
// under that walk. So after each change of ours a registration waits for the
// graph-order notification the server sends once it has done the latencies,
// for a few cycles, or for a bound, whichever comes first.
//
// The list and its walk are JACK2's; PipeWire's JACK library is another
// implementation, and nothing waits there.
class MIDICLJackGraphSettle {
public:
    static constexpr std::chrono::milliseconds kDeadline{200};
    static constexpr std::uint64_t kMostCycles = 4;

    explicit MIDICLJackGraphSettle(bool inNeeded) : mNeeded(inNeeded) {}

    // On JACK's notification thread: the graph order has been told.
    void OnGraphOrder() { mOrders.fetch_add(1); }
    // After a change of ours that the server will answer with a new graph
    // order: a connection made or broken, the client activated, a connected
    // port unregistered.
    void Changed(const MIDICLJackHost& inHost);
    // Before a port is registered or unregistered.
    void Wait(const MIDICLJackHost& inHost);

private:
    const bool mNeeded;
    std::atomic<bool> mPending{false};
    std::atomic<std::uint64_t> mOrders{0};
    // The notification count and the host's cycle count at the last change.
    std::atomic<std::uint64_t> mOrdersAtChange{0};
    std::atomic<std::uint64_t> mCyclesAtChange{0};
};
