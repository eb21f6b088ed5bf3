#include "hosts/MIDICLSignalBlock.h"

#include <pthread.h>

#include <initializer_list>

MIDICLSignalBlock::MIDICLSignalBlock() {
    sigset_t blocked;
    sigfillset(&blocked);
    for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
        sigdelset(&blocked, fault);
    }
    pthread_sigmask(SIG_BLOCK, &blocked, &mSaved);
}

MIDICLSignalBlock::~MIDICLSignalBlock() {
    pthread_sigmask(SIG_SETMASK, &mSaved, nullptr);
}
