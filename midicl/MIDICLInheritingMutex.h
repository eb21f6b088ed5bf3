#pragma once

#include <pthread.h>

// A mutex that lends its holder the priority of whoever waits for it. The
// clock thread runs real-time, and shares locks with threads that do not; a
// plain thread that holds one when other work takes its core must not keep
// the clock waiting behind that work (a priority inversion). Lockable, for
// std::lock_guard and std::unique_lock; taken without a system call when free.
class MIDICLInheritingMutex {
public:
    MIDICLInheritingMutex();
    ~MIDICLInheritingMutex() { pthread_mutex_destroy(&mMutex); }
    MIDICLInheritingMutex(const MIDICLInheritingMutex&) = delete;
    MIDICLInheritingMutex& operator=(const MIDICLInheritingMutex&) = delete;

    void lock() { pthread_mutex_lock(&mMutex); }
    bool try_lock() { return pthread_mutex_trylock(&mMutex) == 0; }
    void unlock() { pthread_mutex_unlock(&mMutex); }

private:
    pthread_mutex_t mMutex;
};
