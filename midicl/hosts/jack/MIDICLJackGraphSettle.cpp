#include "hosts/jack/MIDICLJackGraphSettle.h"

#include <thread>

#include "hosts/jack/MIDICLJackHost.h"

void MIDICLJackGraphSettle::Changed(const MIDICLJackHost& inHost) {
    if (!mNeeded) {
        return;
    }
    mOrdersAtChange.store(mOrders.load());
    mCyclesAtChange.store(inHost.GetCycleCount());
    mPending.store(true);
}

void MIDICLJackGraphSettle::Wait(const MIDICLJackHost& inHost) {
    if (!mPending.load()) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point giveUp = Clock::now() + kDeadline;
    auto settled = [&] {
        return mOrders.load() != mOrdersAtChange.load() ||
               inHost.GetCycleCount() - mCyclesAtChange.load() >= kMostCycles ||
               inHost.IsServerGone() || inHost.IsClosed() || Clock::now() >= giveUp;
    };
    while (!settled()) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    mPending.store(false);
}
