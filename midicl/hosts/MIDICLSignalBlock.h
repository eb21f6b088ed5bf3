#pragma once

#include <signal.h>

// While one of these lives, the calling thread blocks every signal but the
// faults (SIGSEGV and its kind, which must still reach a handler, the
// sanitizers' among them); it puts the old mask back when it goes. A thread
// started meanwhile keeps them blocked for good, so that the application's
// signals (Ctrl-C, SIGTERM, SIGHUP) go to its own threads, never to ours,
// and there is no moment at which the new thread could take one.
class MIDICLSignalBlock {
public:
    MIDICLSignalBlock();
    ~MIDICLSignalBlock();
    MIDICLSignalBlock(const MIDICLSignalBlock&) = delete;
    MIDICLSignalBlock& operator=(const MIDICLSignalBlock&) = delete;

private:
    sigset_t mSaved;
};
