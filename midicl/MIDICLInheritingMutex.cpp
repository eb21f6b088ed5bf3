#include "MIDICLInheritingMutex.h"

// Where the system has no priority inheritance the mutex is a plain one.
MIDICLInheritingMutex::MIDICLInheritingMutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    if (pthread_mutex_init(&mMutex, &attributes) != 0) {
        pthread_mutex_init(&mMutex, nullptr);
    }
    pthread_mutexattr_destroy(&attributes);
}
