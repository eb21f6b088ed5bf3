#pragma once

#include <atomic>

// A value that the command thread writes while the playback thread reads it.
// Each load and store is a relaxed atomic: a reader sees the old or the new
// value, never a torn one, and plain code keeps reading like plain fields.
// Copying copies the current value.
template <typename T>
class KRVRelaxed {
public:
    KRVRelaxed() : mValue(T{}) {}
    KRVRelaxed(T inValue) : mValue(inValue) {}
    KRVRelaxed(const KRVRelaxed& inOther) : mValue(inOther.Load()) {}

    KRVRelaxed& operator=(const KRVRelaxed& inOther) {
        Store(inOther.Load());
        return *this;
    }
    KRVRelaxed& operator=(T inValue) {
        Store(inValue);
        return *this;
    }

    operator T() const { return Load(); }
    T Load() const { return mValue.load(std::memory_order_relaxed); }
    void Store(T inValue) { mValue.store(inValue, std::memory_order_relaxed); }

private:
    std::atomic<T> mValue;
};
