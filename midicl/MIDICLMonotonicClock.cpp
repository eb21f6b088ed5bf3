#include "MIDICLMonotonicClock.h"

#include <time.h>

std::uint64_t MIDICLMonotonicClock::NowNS() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

MIDICLMonotonicClock& MIDICLMonotonicClock::Shared() {
    static MIDICLMonotonicClock sShared;
    return sShared;
}
