#include "hosts/MIDICLHost.h"

#include "MIDICLMonotonicClock.h"

// Out of line so that the vtable has one home.
MIDICLHost::~MIDICLHost() = default;

MIDICLClock& MIDICLHost::GetClock() {
    return MIDICLMonotonicClock::Shared();
}
