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

namespace {

KRVSignalWait::Side* sSide = nullptr;

}  // namespace

void KRVSignalWait::SetSide(Side* inSide) {
    sSide = inSide;
}

KRVSignalWait::Side* KRVSignalWait::GetSide() {
    return sSide;
}

KRVSignalWait::Result KRVSignalWait::ForLine(int inDescriptor) {
    if (sSide == nullptr) {
        return ForDescriptor(inDescriptor, POLLIN);
    }
    pollfd watched[3] = {{inDescriptor, POLLIN, 0},
                         {KRVSignals::GetWakeDescriptor(), POLLIN, 0},
                         {sSide->GetDescriptor(), POLLIN, 0}};
    const int ready = poll(watched, 3, sSide->GetTimeoutMS());
    if (ready < 0) {
        return errno == EINTR ? kSignalled : kReady;
    }
    if (watched[1].revents != 0) {
        KRVSignals::ClearWakeups();
        return kSignalled;
    }
    if (ready == 0 || watched[2].revents != 0) {
        sSide->Serve();
        return kSignalled;
    }
    return kReady;
}
