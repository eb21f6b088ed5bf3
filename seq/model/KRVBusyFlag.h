#pragma once

#include <atomic>

// The sequencer's one lock. The playback tick holds it for a whole tick, and
// the track-list changes hold it while they run, so the list never changes
// under a tick. Claiming is an atomic test-and-set that sleeps while the flag
// is held by the other thread.
class KRVBusyFlag {
public:
    void Claim();
    void Release();

private:
    std::atomic_flag mFlag;
};

// Holds the flag for the lifetime of a scope.
class KRVBusyClaim {
public:
    explicit KRVBusyClaim(KRVBusyFlag& inFlag) : mFlag(inFlag) { mFlag.Claim(); }
    ~KRVBusyClaim() { mFlag.Release(); }
    KRVBusyClaim(const KRVBusyClaim&) = delete;
    KRVBusyClaim& operator=(const KRVBusyClaim&) = delete;

private:
    KRVBusyFlag& mFlag;
};
