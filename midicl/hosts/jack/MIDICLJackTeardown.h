#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

struct MIDICLCallState;

// libjack calls that wait on the server (unregistering a port, deactivating,
// closing) block without limit while the server is stopped or stuck. The
// program must still end: each such call runs on a thread of its own and is
// waited for only so long. Past that it is left to finish, or not, on its
// own, and the server counts as unresponsive: every later call is skipped,
// and so are waits for its cycles, so that a whole teardown of many ports
// costs one deadline at most.
class MIDICLJackTeardown {
public:
    static constexpr std::chrono::milliseconds kDeadline{250};

    // Runs inCall unless the server is unresponsive; false when it was
    // skipped or left behind.
    bool Call(std::function<void()> inCall);
    // For a wait that found the server making no progress.
    void MarkUnresponsive() { mUnresponsive.store(true); }
    bool IsUnresponsive() const { return mUnresponsive.load(); }
    // Whether the call left behind at its deadline (at most one: later calls
    // are skipped) has since returned; true when none was. The client must
    // not be closed under a libjack call still running on it.
    bool LeftCallReturned() const;

private:
    std::atomic<bool> mUnresponsive{false};
    std::shared_ptr<MIDICLCallState> mLeftBehind;
};
