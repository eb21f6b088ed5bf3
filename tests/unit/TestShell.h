#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Harness.h"
#include "KRVShell.h"
#include "KRVUndoHistory.h"
#include "console/KRVStdioInterface.h"
#include "model/KRVSequencer.h"

// An output stream in memory; Text() gives what was written so far.
class MemoryOutput {
public:
    MemoryOutput() : mStream(open_memstream(&mBuffer, &mLength)) {}
    ~MemoryOutput() {
        std::fclose(mStream);
        std::free(mBuffer);
    }
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;

    FILE* Stream() { return mStream; }
    std::string Text() {
        std::fflush(mStream);
        return std::string(mBuffer, mLength);
    }

private:
    char* mBuffer = nullptr;
    size_t mLength = 0;
    FILE* mStream;
};

// Runs a script shell (no prompt) over inInput, as `read` would, and returns
// everything it wrote. With outUndoCount it keeps undo steps, as the console
// does, and tells how many it holds at the end.
inline std::string RunShell(KRVSequencer& ioSequencer, std::string inInput,
                            int* outUndoCount = nullptr) {
    FILE* in = fmemopen(inInput.data(), inInput.size(), "r");
    MemoryOutput out;
    {
        KRVStdioInterface interface(in, out.Stream());
        KRVShell shell(&ioSequencer, &interface);
        if (outUndoCount != nullptr) {
            shell.StartTracking();
        }
        shell.Shell(false);
        if (outUndoCount != nullptr) {
            *outUndoCount = shell.GetUndoHistory()->GetUndoCount();
        }
    }
    std::fclose(in);
    return out.Text();
}
