#pragma once

#include <csignal>

// What the program does with the signals a user or the system sends it.
//
// SIGINT (Ctrl-C) never ends krv: it interrupts what is going on (playback,
// a running `shell` command, a script being read) and krv goes on at its
// prompt. SIGTERM and SIGHUP end krv the orderly way, as `quit` does, and it
// exits with 128 + the signal's number.
//
// The handlers only note what arrived, then make the wake descriptor
// readable; the command thread (the line editor among it) asks and acts. It waits for input
// and output through KRVSignalWait, which watches that descriptor, so that
// no signal is slept through. The handlers are installed without
// SA_RESTART, so that other blocking calls on the command thread still
// return (EINTR). Only the command thread should receive them: other
// threads block them (Block before making threads that should not, or in
// the thread itself).
class KRVSignals {
public:
    // Installs the handlers for SIGINT, SIGTERM and SIGHUP.
    static void Install();

    // True when SIGINT arrived since the last call; clears it.
    static bool TakeInterrupt();
    // Whether a SIGINT is there to be taken, leaving it there.
    static bool IsInterrupted() { return sInterrupted != 0; }
    // What SIGINT does for the command thread (the console stops playback);
    // null for nothing.
    using InterruptAction = void (*)(void* inContext);
    static void SetInterruptAction(InterruptAction inAction, void* inContext);
    // Takes a SIGINT that arrived and runs the action for it, unless
    // RunInterruptAction already did; false when none arrived. For the
    // command thread only.
    static bool ActOnInterrupt();
    // Runs the action once for the SIGINTs that arrived since it last ran,
    // but leaves them noted, so that a script being read still ends: for a
    // wait that goes on after a SIGINT (a write waiting for room).
    static void RunInterruptAction();
    // SIGTERM or SIGHUP, whichever arrived first, or 0.
    static int GetTerminatingSignal();
    // Whether anything arrived that the command thread has yet to act on, so
    // that a read or a wait that a signal cut short should give up rather
    // than start again.
    static bool IsPending();

    // Readable from the arrival of a signal until ClearWakeups; -1 before
    // Install.
    static int GetWakeDescriptor();
    // Only a wait should clear it, and only before the flags above are
    // asked again (see KRVSignalWait).
    static void ClearWakeups();

    // Block and unblock the three signals in the calling thread; threads made
    // meanwhile inherit the block. Block can hand back the mask it replaced.
    static void Block(sigset_t* outPrevious = nullptr);
    static void Unblock();
    // Puts back a mask Block handed back.
    static void RestoreMask(const sigset_t& inPrevious);
    // In a child about to exec another program: the three signals back to
    // their default actions, and unblocked. One that arrived since the fork
    // (blocked till now) then acts as it would on that program.
    static void RestoreInChild();

    // For tests: forget what arrived.
    static void Clear();

private:
    static void Handle(int inSignal);
    static void OpenWakePipe();
    static void SetMask(int inHow, sigset_t* outPrevious = nullptr);

    static volatile std::sig_atomic_t sInterrupted;
    static volatile std::sig_atomic_t sInterruptActionDue;
    static InterruptAction sInterruptAction;
    static void* sInterruptContext;
    static volatile std::sig_atomic_t sTerminatingSignal;
    // Read and write end of a pipe of our own: the handlers write a byte.
    static int sWakeDescriptors[2];
};
