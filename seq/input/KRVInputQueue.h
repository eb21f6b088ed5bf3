#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "input/KRVInputMessage.h"

// A bounded queue from one host thread (the writer) to the command thread
// (the reader). Push takes no lock and allocates nothing; past the bound a
// message is dropped and counted. An eventfd is readable while messages
// wait, so the reader can sleep in poll alongside its other descriptors.
class KRVInputQueue {
public:
    static constexpr std::size_t kCapacity = 1024;

    KRVInputQueue();
    ~KRVInputQueue();
    KRVInputQueue(const KRVInputQueue&) = delete;
    KRVInputQueue& operator=(const KRVInputQueue&) = delete;

    // Writer only.
    void Push(const KRVInputMessage& inMessage);
    // Reader only; false when empty.
    bool Pop(KRVInputMessage& outMessage);
    int GetWakeFd() const { return mWakeFd; }
    std::uint64_t TakeDroppedCount() { return mDropped.exchange(0); }

private:
    void Wake();
    // Drains the eventfd once the queue looks empty, and wakes again if a
    // message came in meanwhile, so no message waits behind a drained fd.
    void Settle();

    std::array<KRVInputMessage, kCapacity> mMessages;
    // Positions only grow; the slot is the position modulo kCapacity.
    // Sequentially consistent: the wake-up reasoning needs one order of
    // the writer's and the reader's steps.
    std::atomic<std::size_t> mHead{0};
    std::atomic<std::size_t> mTail{0};
    std::atomic<std::uint64_t> mDropped{0};
    int mWakeFd;
};
