#include "console/KRVSignalWait.h"

#include <poll.h>

#include <cerrno>

#include "console/KRVSignals.h"

KRVSignalWait::Result KRVSignalWait::ForDescriptor(int inDescriptor, short inEvents,
                                                   int inTimeoutMS) {
    // A wake descriptor of -1 (no handlers installed) is skipped by poll.
    pollfd watched[2] = {{inDescriptor, inEvents, 0}, {KRVSignals::GetWakeDescriptor(), POLLIN, 0}};
    const int ready = poll(watched, 2, inTimeoutMS);
    if (ready < 0) {
        // A handler ran on this thread; anything else is for the read or
        // write that follows to report.
        return errno == EINTR ? kSignalled : kReady;
    }
    if (ready == 0) {
        return kTimedOut;
    }
    if (watched[1].revents != 0) {
        KRVSignals::ClearWakeups();
        return kSignalled;
    }
    return kReady;
}
