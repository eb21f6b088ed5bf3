#include "hosts/MIDICLDrainWait.h"

#include <thread>

// One wait at a time: the ports of one exit go one after the other anyway,
// and the budget they share must be taken in turn.
bool MIDICLDrainWait::Wait(const std::function<bool()>& inDone,
                           const std::function<std::uint64_t()>& inProgress) {
    std::lock_guard<std::mutex> lock(mMutex);
    Clock::time_point now = Clock::now();
    if (now - mLastWaitEnd > kStuckLimit) {
        mBudgetEnd = now + kTotalLimit;
    }
    std::uint64_t progress = inProgress();
    Clock::time_point lastProgress = now;
    bool done = inDone();
    while (!done && !mStuck && now < mBudgetEnd) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        now = Clock::now();
        if (const std::uint64_t seen = inProgress(); seen != progress) {
            progress = seen;
            lastProgress = now;
        }
        mStuck = now - lastProgress >= kStuckLimit;
        done = inDone();
    }
    mLastWaitEnd = Clock::now();
    return done;
}

bool MIDICLDrainWait::IsStuck() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mStuck;
}
