#include "input/KRVInputQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

KRVInputQueue::KRVInputQueue() : mWakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

KRVInputQueue::~KRVInputQueue() {
    if (mWakeFd >= 0) {
        close(mWakeFd);
    }
}

// The writer wakes the reader only when its message may have found the
// reader done with everything before it: the reader's Settle covers the rest.
void KRVInputQueue::Push(const KRVInputMessage& inMessage) {
    const std::size_t head = mHead.load();
    if (head - mTail.load() >= kCapacity) {
        mDropped.fetch_add(1);
        return;
    }
    mMessages[head % kCapacity] = inMessage;
    mHead.store(head + 1);
    if (mTail.load() == head) {
        Wake();
    }
}

bool KRVInputQueue::Pop(KRVInputMessage& outMessage) {
    const std::size_t tail = mTail.load();
    if (tail == mHead.load()) {
        Settle();
        return false;
    }
    outMessage = mMessages[tail % kCapacity];
    mTail.store(tail + 1);
    if (tail + 1 == mHead.load()) {
        Settle();
    }
    return true;
}

void KRVInputQueue::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(mWakeFd, &one, sizeof one);
}

void KRVInputQueue::Settle() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(mWakeFd, &count, sizeof count);
    if (mTail.load() != mHead.load()) {
        Wake();
    }
}
