#include "hosts/MIDICLRealtimeSlots.h"

#include <thread>

MIDICLRealtimeSlots::MIDICLRealtimeSlots() : mLimit(0), mInPass(false) {
    for (std::atomic<void*>& slot : mSlots) {
        slot.store(nullptr);
    }
}

bool MIDICLRealtimeSlots::Add(void* inEntry, std::size_t* outSlot) {
    std::lock_guard<std::mutex> lock(mWriterMutex);
    for (std::size_t i = 0; i < kCapacity; ++i) {
        if (mSlots[i].load() == nullptr) {
            mSlots[i].store(inEntry);
            if (i >= mLimit.load()) {
                mLimit.store(i + 1);
            }
            if (outSlot != nullptr) {
                *outSlot = i;
            }
            return true;
        }
    }
    return false;
}

// Sequentially consistent throughout: if the walker's pass began before the
// slot was cleared, this sees mInPass set and waits; otherwise the walker
// reads the cleared slot.
void MIDICLRealtimeSlots::Remove(void* inEntry) {
    {
        std::lock_guard<std::mutex> lock(mWriterMutex);
        for (std::size_t i = 0; i < mLimit.load(); ++i) {
            if (mSlots[i].load() == inEntry) {
                mSlots[i].store(nullptr);
            }
        }
    }
    while (mInPass.load()) {
        std::this_thread::yield();
    }
}
