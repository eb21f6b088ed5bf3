#include "model/KRVBusyFlag.h"

void KRVBusyFlag::Claim() {
    while (mFlag.test_and_set(std::memory_order_acquire)) {
        mFlag.wait(true, std::memory_order_relaxed);
    }
}

void KRVBusyFlag::Release() {
    mFlag.clear(std::memory_order_release);
    mFlag.notify_one();
}
