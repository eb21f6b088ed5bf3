#include "model/KRVPortTiming.h"

#include <algorithm>

const KRVPortTiming::Entry& KRVPortTiming::Find(int inPort) const {
    // What a port past the table has.
    static const Entry sNone{};
    if (inPort < 0 || static_cast<std::size_t>(inPort) >= mPorts.size()) {
        return sNone;
    }
    return mPorts[static_cast<std::size_t>(inPort)];
}

KRVPortTiming::Entry& KRVPortTiming::Grow(int inPort) {
    if (static_cast<std::size_t>(inPort) >= mPorts.size()) {
        mPorts.resize(static_cast<std::size_t>(inPort) + 1);
    }
    return mPorts[static_cast<std::size_t>(inPort)];
}

void KRVPortTiming::SetClock(int inPort, bool inSends) {
    if (inPort >= 0) {
        Grow(inPort).mClock = inSends;
    }
}

void KRVPortTiming::SetLatency(int inPort, int inMS) {
    if (inPort >= 0) {
        Grow(inPort).mLatencyMS =
            static_cast<std::int16_t>(std::clamp(inMS, kMinLatencyMS, kMaxLatencyMS));
    }
}

bool KRVPortTiming::HasClock() const {
    return std::any_of(mPorts.begin(), mPorts.end(), [](const Entry& e) { return e.mClock; });
}

// Entries past either table count as none.
bool KRVPortTiming::operator==(const KRVPortTiming& inOther) const {
    const int ports = std::max(GetPortCount(), inOther.GetPortCount());
    for (int port = 0; port < ports; ++port) {
        if (SendsClock(port) != inOther.SendsClock(port) ||
            GetLatency(port) != inOther.GetLatency(port)) {
            return false;
        }
    }
    return true;
}
