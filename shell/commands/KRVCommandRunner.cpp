#include "commands/KRVCommandRunner.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "KRVShellInterface.h"
#include "console/KRVSignalWait.h"
#include "console/KRVSignals.h"

namespace {

// How long an interrupted command has to end before it is killed, and when
// within that time the interrupt goes to it again.
constexpr int kGraceMS = 1000;
constexpr int kAgainMS = 100;

}  // namespace

bool KRVCommandRunner::Run(const std::string& inCommandLine, KRVShellInterface* ioOut) {
    int ends[2];
    if (pipe(ends) != 0) {
        return false;
    }
    // Blocked from before the fork until the child runs the command: a
    // signal caught there by our handler would be lost to the command (an
    // interrupt then took the grace time and a kill to end it).
    sigset_t previous;
    KRVSignals::Block(&previous);
    const pid_t child = fork();
    if (child != 0) {
        KRVSignals::RestoreMask(previous);
    }
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (child == 0) {
        setpgid(0, 0);
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        close(ends[1]);
        KRVSignals::RestoreInChild();
        execl("/bin/sh", "sh", "-c", inCommandLine.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    // Set here too, so that the group exists whichever of us runs first.
    setpgid(child, child);
    const bool ownsTerminal = HandTerminal(child);
    if (!CopyOutput(ends[0], child, ioOut)) {
        kill(-child, SIGKILL);
    }
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
// did not end within the grace time. A signal that arrives just before the
// wait for output still cuts it short (KRVSignalWait).
//
// The interrupt goes once more to a command still running kAgainMS after
// it: `sh -c` catches SIGINT while it starts the command, and one that
// lands as the shell hands over to the command is lost (dash here: about 1
// launch in 5,000, which then ran until the kill).
bool KRVCommandRunner::CopyOutput(int inPipe, int inChild, KRVShellInterface* ioOut) {
    using Clock = std::chrono::steady_clock;
    // Counted from the interrupt, whatever output comes meanwhile.
    std::optional<Clock::time_point> interrupted;
    bool sentAgain = false;
    for (;;) {
        if (!interrupted && KRVSignals::IsPending()) {
            interrupted = Clock::now();
            kill(-inChild, SIGINT);
        }
        int timeoutMS = -1;
        if (interrupted) {
            const auto since =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *interrupted)
                    .count();
            if (!sentAgain && since >= kAgainMS) {
                sentAgain = true;
                kill(-inChild, SIGINT);
            }
            if (since >= kGraceMS) {
                return false;
            }
            timeoutMS = static_cast<int>((sentAgain ? kGraceMS : kAgainMS) - since);
        }
        const KRVSignalWait::Result result =
            KRVSignalWait::ForDescriptor(inPipe, POLLIN, timeoutMS);
        if (result != KRVSignalWait::kReady) {
            continue;
        }
        char piece[1024];
        const ssize_t count = read(inPipe, piece, sizeof piece - 1);
        if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
            return true;
        }
        if (count > 0) {
            // The command may run long: its output is shown as it comes.
            piece[count] = '\0';
            ioOut->Write(piece);
            ioOut->Flush();
        }
    }
}

void KRVCommandRunner::Reap(int inChild) {
    while (waitpid(inChild, nullptr, 0) < 0 && errno == EINTR) {
    }
}
