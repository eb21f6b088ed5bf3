#include "KRVPrograms.h"

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
    for (auto& port : mPorts) {
        for (Entry& entry : port) {
            entry.mPending = entry.mProgram0 != kNone;
            mAnyPending = mAnyPending || entry.mPending;
        }
    }
}
