#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVStdioInterface.h"

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
// everything it wrote.
inline std::string RunShell(KRVSequencer& ioSequencer, std::string inInput) {
    FILE* in = fmemopen(inInput.data(), inInput.size(), "r");
    MemoryOutput out;
    {
        KRVStdioInterface interface(in, out.Stream());
        KRVShell(&ioSequencer, &interface).Shell(false);
    }
    std::fclose(in);
    return out.Text();
}
