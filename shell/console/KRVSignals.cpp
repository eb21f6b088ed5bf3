#include "console/KRVSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>

volatile std::sig_atomic_t KRVSignals::sInterrupted = 0;
volatile std::sig_atomic_t KRVSignals::sInterruptActionDue = 0;
volatile std::sig_atomic_t KRVSignals::sTerminatingSignal = 0;
KRVSignals::InterruptAction KRVSignals::sInterruptAction = nullptr;
void* KRVSignals::sInterruptContext = nullptr;
int KRVSignals::sWakeDescriptors[2] = {-1, -1};

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

// The flags first, the byte after: whoever the byte wakes finds them set.
void KRVSignals::Handle(int inSignal) {
    const int savedErrno = errno;
    if (inSignal == SIGINT) {
        sInterruptActionDue = 1;
        sInterrupted = 1;
    } else if (sTerminatingSignal == 0) {
        sTerminatingSignal = inSignal;
    }
    const char byte = 0;
    // Fails only when the pipe is full, and so readable already, or when
    // there is none (then the waits rely on EINTR alone).
    [[maybe_unused]] const ssize_t written = write(sWakeDescriptors[1], &byte, 1);
    errno = savedErrno;
}

// Non-blocking at both ends: the handler must never wait, nor must a wait
// that empties the pipe. Not passed on to `shell` commands. Above the
// standard descriptors, so that with stdout closed at start writes fail
// there rather than wait on our own pipe.
void KRVSignals::OpenWakePipe() {
    if (sWakeDescriptors[0] >= 0 || pipe2(sWakeDescriptors, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    for (int& descriptor : sWakeDescriptors) {
        if (descriptor <= STDERR_FILENO) {
            const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            close(descriptor);
            descriptor = moved;
        }
    }
}

void KRVSignals::Install() {
    OpenWakePipe();
    struct sigaction action {};
    action.sa_handler = Handle;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking call must come back and let us act.
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
    RunInterruptAction();
    return true;
}

// A SIGINT between the test and the clearing is covered by this very run.
void KRVSignals::RunInterruptAction() {
    if (sInterruptActionDue == 0) {
        return;
    }
    sInterruptActionDue = 0;
    if (sInterruptAction != nullptr) {
        sInterruptAction(sInterruptContext);
    }
}

int KRVSignals::GetTerminatingSignal() {
    return sTerminatingSignal;
}

bool KRVSignals::IsPending() {
    return sInterrupted != 0 || sTerminatingSignal != 0;
}

int KRVSignals::GetWakeDescriptor() {
    return sWakeDescriptors[0];
}

void KRVSignals::ClearWakeups() {
    char bytes[64];
    while (sWakeDescriptors[0] >= 0 && read(sWakeDescriptors[0], bytes, sizeof bytes) > 0) {
    }
}

void KRVSignals::SetMask(int inHow, sigset_t* outPrevious) {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals) {
        sigaddset(&set, signal);
    }
    pthread_sigmask(inHow, &set, outPrevious);
}

void KRVSignals::Block(sigset_t* outPrevious) {
    SetMask(SIG_BLOCK, outPrevious);
}

void KRVSignals::Unblock() {
    SetMask(SIG_UNBLOCK);
}

void KRVSignals::RestoreMask(const sigset_t& inPrevious) {
    pthread_sigmask(SIG_SETMASK, &inPrevious, nullptr);
}

// Between fork and exec only async-signal-safe calls: sigaction and
// sigprocmask (the child has one thread).
void KRVSignals::RestoreInChild() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals) {
        sigaction(signal, &action, nullptr);
        sigaddset(&set, signal);
    }
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void KRVSignals::Clear() {
    sInterrupted = 0;
    sInterruptActionDue = 0;
    sTerminatingSignal = 0;
    ClearWakeups();
}
