#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

// A fixed table of objects that one real-time thread (a JACK process
// callback, the ALSA input thread) walks while other threads add and remove
// entries. The walker neither locks nor allocates; Remove waits until the
// walker is outside its pass, so that the removed object may be destroyed as
// soon as Remove returns.
class MIDICLRealtimeSlots {
public:
    static constexpr std::size_t kCapacity = 256;

    MIDICLRealtimeSlots();

    // False when the table is full; outSlot, when given, is where it went.
    bool Add(void* inEntry, std::size_t* outSlot = nullptr);
    void Remove(void* inEntry);

    // For the walking thread only: a pass is everything between these two.
    void BeginPass() { mInPass.store(true); }
    void EndPass() { mInPass.store(false); }
    // Entries are in slots 0 to GetLimit() - 1; a slot may be empty (null).
    std::size_t GetLimit() const { return mLimit.load(); }
    void* Get(std::size_t inSlot) const { return mSlots[inSlot].load(); }

private:
    // Writers serialise among themselves; the walker never takes this.
    std::mutex mWriterMutex;
    std::array<std::atomic<void*>, kCapacity> mSlots;
    std::atomic<std::size_t> mLimit;
    std::atomic<bool> mInPass;
};
