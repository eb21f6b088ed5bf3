#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

// How long a port that is going waits for what it still holds to reach its
// receiver: the one rule for every host. A wait lasts while the receiver
// keeps taking (its progress count changes at least every kStuckLimit), and
// the waits of one exit, which follow one another closer than kStuckLimit,
// share kTotalLimit: long enough for a receiver or server that is only busy,
// short enough that one that stopped holds krv up for no more than a moment.
// A receiver that took nothing for kStuckLimit is stuck, and every later
// wait gives up at once: each port would wait as long again.
class MIDICLDrainWait {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kStuckLimit{250};
    static constexpr std::chrono::milliseconds kTotalLimit{500};

    // Polls inDone a millisecond apart until it says all is out; false when
    // the wait gave up instead.
    bool Wait(const std::function<bool()>& inDone,
              const std::function<std::uint64_t()>& inProgress);
    bool IsStuck() const;

private:
    mutable std::mutex mMutex;
    bool mStuck = false;
    Clock::time_point mBudgetEnd;
    Clock::time_point mLastWaitEnd;
};
