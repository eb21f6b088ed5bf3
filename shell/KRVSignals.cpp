#include "KRVSignals.h"

#include <pthread.h>

#include "KRVLineEditor.h"

volatile std::sig_atomic_t KRVSignals::sInterrupted = 0;
volatile std::sig_atomic_t KRVSignals::sTerminatingSignal = 0;
KRVSignals::InterruptAction KRVSignals::sInterruptAction = nullptr;
void* KRVSignals::sInterruptContext = nullptr;

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

void KRVSignals::Handle(int inSignal) {
    if (inSignal == SIGINT) {
        sInterrupted = 1;
        KRVLineEditor::NoteInterrupt();
    } else if (sTerminatingSignal == 0) {
        sTerminatingSignal = inSignal;
    }
}

void KRVSignals::Install() {
    struct sigaction action {};
    action.sa_handler = Handle;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read must come back and let us act.
    action.sa_flags = 0;
    for (int signal : kSignals) {
        sigaction(signal, &action, nullptr);
    }
}

bool KRVSignals::TakeInterrupt() {
    if (sInterrupted == 0) {
        return false;
    }
    sInterrupted = 0;
    return true;
}

void KRVSignals::SetInterruptAction(InterruptAction inAction, void* inContext) {
    sInterruptAction = inAction;
    sInterruptContext = inContext;
}

bool KRVSignals::ActOnInterrupt() {
    if (!TakeInterrupt()) {
        return false;
    }
    if (sInterruptAction != nullptr) {
        sInterruptAction(sInterruptContext);
    }
    return true;
}

int KRVSignals::GetTerminatingSignal() {
    return sTerminatingSignal;
}

bool KRVSignals::IsPending() {
    return sInterrupted != 0 || sTerminatingSignal != 0;
}

sigset_t KRVSignals::SetMask(int inHow) {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals) {
        sigaddset(&set, signal);
    }
    sigset_t previous;
    pthread_sigmask(inHow, &set, &previous);
    return previous;
}

sigset_t KRVSignals::Block() {
    return SetMask(SIG_BLOCK);
}

void KRVSignals::Restore(const sigset_t& inMask) {
    pthread_sigmask(SIG_SETMASK, &inMask, nullptr);
}

void KRVSignals::Unblock() {
    SetMask(SIG_UNBLOCK);
}

void KRVSignals::Clear() {
    sInterrupted = 0;
    sTerminatingSignal = 0;
}
