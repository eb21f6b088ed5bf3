#pragma once

#include "MIDICLInheritingMutex.h"

// The sequencer's one lock. The playback tick holds it for a whole tick, and
// the track-list changes hold it while they run, so the list never changes
// under a tick. The tick runs real-time and the commands do not, so a
// command that holds it lends itself the tick's priority while the tick
// waits (see MIDICLInheritingMutex).
class KRVBusyFlag {
public:
    void Claim() { mMutex.lock(); }
    void Release() { mMutex.unlock(); }

private:
    MIDICLInheritingMutex mMutex;
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
