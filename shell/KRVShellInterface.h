#pragma once

#include <cstdio>

#include "model/KRVTextOutput.h"

// All text the shell reads or writes passes through here: lines in, and out
// through the writes of KRVTextOutput.
//
// An interface may hand its reading or its writing to a delegate: a script's
// interface writes through the caller's, so script output lands where the
// caller's output goes.
class KRVShellInterface : public KRVTextOutput {
public:
    // Reads one whole line and returns its length without its newline, or -1
    // at end of input. A line that does not fit in the buffer is consumed
    // and refused: KRVLineLimit::kTooLong, nothing of it delivered; so is
    // one with a NUL byte (KRVLineLimit::kHasNul).
    virtual int ReadLine(char* inBuffer, int inBufferLength) = 0;
    // The same for the answer to a question (overwrite, yes or no?): an
    // interface that keeps the lines typed for recall leaves answers out,
    // and Ctrl-C at a terminal ends the answer with kInterrupted (a no).
    static constexpr int kInterrupted = -4;
    virtual int ReadAnswer(char* inBuffer, int inBufferLength) {
        return ReadLine(inBuffer, inBufferLength);
    }
    // Sends on what the writes so far have left in a buffer.
    virtual void Flush() {}
    // The errno of a failed read when ReadLine gave -1 for it rather than
    // for the end of the input; 0 otherwise.
    virtual int GetReadError() const { return 0; }
    // How many columns the terminal that the output goes to has; 0 where
    // it goes to no terminal (a pipe, a file), whose lines are never cut.
    virtual int GetColumns() const { return 0; }
    // The terminal this interface reads from and writes to, when it reads
    // and writes one (the console at a terminal); nulls otherwise.
    struct Terminal {
        FILE* mIn = nullptr;
        FILE* mOut = nullptr;
    };
    virtual Terminal GetTerminal() const { return {}; }

    // A null delegate switches delegation off. Delegates are not owned.
    void SetInputDelegate(KRVShellInterface* inDelegate) { mInputDelegate = inDelegate; }
    void SetOutputDelegate(KRVShellInterface* inDelegate) { mOutputDelegate = inDelegate; }

protected:
    KRVShellInterface* mInputDelegate = nullptr;
    KRVShellInterface* mOutputDelegate = nullptr;
};
