#pragma once

#include <csignal>

// What the program does with the signals a user or the system sends it.
//
// SIGINT (Ctrl-C) never ends krv: it interrupts what is going on (playback,
// a running `shell` command, a script being read) and krv goes on at its
// prompt. SIGTERM and SIGHUP end krv the orderly way, as `quit` does, and it
// exits with 128 + the signal's number.
//
// The handlers only note what arrived (and tell the line editor of a SIGINT,
// so that Ctrl-C at the prompt drops the typed line); the command thread
// asks and acts.
// They are installed without SA_RESTART, so that a blocking read or wait on
// the command thread returns (EINTR) when a signal arrives. Only the command
// thread should receive them: other threads block them (Block before making
// threads that should not, or in the thread itself).
class KRVSignals {
public:
    // Installs the handlers for SIGINT, SIGTERM and SIGHUP.
    static void Install();

    // True when SIGINT arrived since the last call; clears it.
    static bool TakeInterrupt();
    // What SIGINT does for the command thread (the console stops playback),
    // run by ActOnInterrupt; null for nothing.
    using InterruptAction = void (*)(void* inContext);
    static void SetInterruptAction(InterruptAction inAction, void* inContext);
    // Takes a SIGINT that arrived and runs the action for it; false when
    // none arrived. For the command thread only.
    static bool ActOnInterrupt();
    // SIGTERM or SIGHUP, whichever arrived first, or 0.
    static int GetTerminatingSignal();
    // Whether anything arrived that the command thread has yet to act on, so
    // that a read or a wait that a signal cut short should give up rather
    // than start again.
    static bool IsPending();

    // Block and unblock the three signals in the calling thread; threads made
    // meanwhile inherit the block. Block returns the mask it replaced, for a
    // wait (ppoll) that must let them in, and for Restore.
    static sigset_t Block();
    static void Unblock();
    static void Restore(const sigset_t& inMask);

    // For tests: forget what arrived.
    static void Clear();

private:
    static void Handle(int inSignal);
    static sigset_t SetMask(int inHow);

    static volatile std::sig_atomic_t sInterrupted;
    static InterruptAction sInterruptAction;
    static void* sInterruptContext;
    static volatile std::sig_atomic_t sTerminatingSignal;
};
