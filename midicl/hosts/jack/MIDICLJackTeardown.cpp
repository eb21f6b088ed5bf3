#include "hosts/jack/MIDICLJackTeardown.h"

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Shared with the thread that makes the call, which may outlive the wait.
struct MIDICLCallState {
    std::mutex mMutex;
    std::condition_variable mDone;
    bool mFinished = false;
};

bool MIDICLJackTeardown::Call(std::function<void()> inCall) {
    if (IsUnresponsive()) {
        return false;
    }
    auto state = std::make_shared<MIDICLCallState>();
    std::thread caller([state, call = std::move(inCall)] {
        // Signals are the command thread's.
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        call();
        std::lock_guard<std::mutex> lock(state->mMutex);
        state->mFinished = true;
        state->mDone.notify_all();
    });
    std::unique_lock<std::mutex> lock(state->mMutex);
    const bool finished = state->mDone.wait_for(lock, kDeadline, [&] { return state->mFinished; });
    lock.unlock();
    if (finished) {
        caller.join();
        return true;
    }
    caller.detach();
    mLeftBehind = state;
    MarkUnresponsive();
    return false;
}

bool MIDICLJackTeardown::LeftCallReturned() const {
    if (mLeftBehind == nullptr) {
        return true;
    }
    std::lock_guard<std::mutex> lock(mLeftBehind->mMutex);
    return mLeftBehind->mFinished;
}
