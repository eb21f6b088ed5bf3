#include "KRVCommandRunner.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "KRVShellInterface.h"
#include "KRVSignals.h"

namespace {

// How long an interrupted command has to end before it is killed.
constexpr int kGraceMS = 1000;

}  // namespace

bool KRVCommandRunner::Run(const std::string& inCommandLine, KRVShellInterface* ioOut) {
    int ends[2];
    if (pipe(ends) != 0) {
        return false;
    }
    // Blocked until the wait for output lets them in, so that one arriving
    // just before that wait still cuts it short.
    const sigset_t waitMask = KRVSignals::Block();
    const pid_t child = fork();
    if (child < 0) {
        KRVSignals::Restore(waitMask);
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (child == 0) {
        KRVSignals::Restore(waitMask);
        setpgid(0, 0);
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        close(ends[1]);
        execl("/bin/sh", "sh", "-c", inCommandLine.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    // Set here too, so that the group exists whichever of us runs first.
    setpgid(child, child);
    const bool ownsTerminal = HandTerminal(child);
    if (!CopyOutput(ends[0], child, ioOut, waitMask)) {
        kill(-child, SIGKILL);
    }
    KRVSignals::Restore(waitMask);
    close(ends[0]);
    Reap(child);
    if (ownsTerminal) {
        HandTerminal(getpgrp());
    }
    return true;
}

// The command runs in a process group of its own, so that an interrupt
// reaches all of it (a shell waiting for its children ignores SIGINT). When
// our group has the terminal, the command gets it meanwhile, so that it can
// read from it and Ctrl-C reaches it directly. True when it was handed over.
bool KRVCommandRunner::HandTerminal(int inGroup) {
    if (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) < 0) {
        return false;
    }
    if (inGroup != getpgrp() && tcgetpgrp(STDIN_FILENO) != getpgrp()) {
        return false;
    }
    // Taking the terminal back from a background group would stop us.
    void (*previous)(int) = signal(SIGTTOU, SIG_IGN);
    const bool handed = tcsetpgrp(STDIN_FILENO, inGroup) == 0;
    signal(SIGTTOU, previous);
    return handed;
}

// Until the command closes its output. False when it was interrupted and
// did not end within the grace time.
bool KRVCommandRunner::CopyOutput(int inPipe, int inChild, KRVShellInterface* ioOut,
                                  const sigset_t& inWaitMask) {
    bool interrupted = false;
    for (;;) {
        if (!interrupted && KRVSignals::IsPending()) {
            interrupted = true;
            kill(-inChild, SIGINT);
        }
        pollfd readable{inPipe, POLLIN, 0};
        timespec grace{kGraceMS / 1000, (kGraceMS % 1000) * 1000000L};
        const int ready = ppoll(&readable, 1, interrupted ? &grace : nullptr, &inWaitMask);
        if (ready == 0) {
            return false;
        }
        if (ready < 0) {
            continue;
        }
        char piece[1024];
        const ssize_t count = read(inPipe, piece, sizeof piece - 1);
        if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
            return true;
        }
        if (count > 0) {
            piece[count] = '\0';
            ioOut->Write(piece);
        }
    }
}

void KRVCommandRunner::Reap(int inChild) {
    while (waitpid(inChild, nullptr, 0) < 0 && errno == EINTR) {
    }
}
