#include "model/KRVPrograms.h"

#include <algorithm>

// Allocates only here, on the command thread: the clock never grows the
// table.
void KRVPrograms::Set(int inPort, int inChannel0, int inProgram0) {
    if (inPort < 0 || inChannel0 < 0 || inChannel0 >= kChannels) {
        return;
    }
    if (static_cast<std::size_t>(inPort) >= mPorts.size()) {
        mPorts.resize(static_cast<std::size_t>(inPort) + 1);
    }
    Entry& entry = mPorts[static_cast<std::size_t>(inPort)][inChannel0];
    entry.mProgram0 = static_cast<std::int8_t>(inProgram0);
    entry.mPending = inProgram0 != kNone;
    mAnyPending = mAnyPending || entry.mPending;
}

int KRVPrograms::Get(int inPort, int inChannel0) const {
    if (inPort < 0 || static_cast<std::size_t>(inPort) >= mPorts.size() || inChannel0 < 0 ||
        inChannel0 >= kChannels) {
        return kNone;
    }
    return mPorts[static_cast<std::size_t>(inPort)][inChannel0].mProgram0;
}

void KRVPrograms::MarkAllPending() {
    for (std::size_t port = 0; port < mPorts.size(); ++port) {
        MarkPortPending(static_cast<int>(port));
    }
}

bool KRVPrograms::MarkPortPending(int inPort) {
    if (inPort < 0 || static_cast<std::size_t>(inPort) >= mPorts.size()) {
        return false;
    }
    bool any = false;
    for (Entry& entry : mPorts[static_cast<std::size_t>(inPort)]) {
        entry.mPending = entry.mProgram0 != kNone;
        any = any || entry.mPending;
    }
    mAnyPending = mAnyPending || any;
    return any;
}

bool KRVPrograms::HasSamePrograms(const KRVPrograms& inOther) const {
    const std::size_t ports = std::max(mPorts.size(), inOther.mPorts.size());
    for (std::size_t port = 0; port < ports; ++port) {
        for (int channel0 = 0; channel0 < kChannels; ++channel0) {
            if (Get(static_cast<int>(port), channel0) !=
                inOther.Get(static_cast<int>(port), channel0)) {
                return false;
            }
        }
    }
    return true;
}
