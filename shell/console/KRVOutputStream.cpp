#include "console/KRVOutputStream.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

#include "console/KRVSignalWait.h"
#include "console/KRVSignals.h"

namespace {

// The cookie is the descriptor, shifted up a bit, and in the lowest bit
// whether it is a regular file: a descriptor's kind is asked once, not at
// every write.
void* MakeCookie(int inDescriptor) {
    struct stat info;
    const bool regular = fstat(inDescriptor, &info) == 0 && S_ISREG(info.st_mode);
    return reinterpret_cast<void*>((static_cast<std::intptr_t>(inDescriptor) << 1) |
                                   (regular ? 1 : 0));
}

int GetDescriptor(void* inCookie) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(inCookie) >> 1);
}

bool IsRegularFile(void* inCookie) {
    return (reinterpret_cast<std::intptr_t>(inCookie) & 1) != 0;
}

}  // namespace

FILE* KRVOutputStream::Open(int inDescriptor) {
    cookie_io_functions_t functions{};
    functions.write = Write;
    return fopencookie(MakeCookie(inDescriptor), "w", functions);
}

void KRVOutputStream::TakeOverStandardOutput() {
    FILE* stream = Open(STDOUT_FILENO);
    if (stream == nullptr) {
        return;
    }
    if (isatty(STDOUT_FILENO)) {
        std::setvbuf(stream, nullptr, _IOLBF, BUFSIZ);
    }
    std::fflush(stdout);
    // The GNU C library lets stdout be assigned.
    stdout = stream;
}

// Once a terminating signal has dropped the rest, the whole counts as
// written: a short count would mark the stream as failed.
ssize_t KRVOutputStream::Write(void* inCookie, const char* inData, size_t inSize) {
    const int descriptor = GetDescriptor(inCookie);
    // A pipe with room at all takes PIPE_BUF bytes at once, so a write of
    // that much does not block. A regular file never leaves a write waiting
    // for a reader: it takes the whole at once.
    const size_t piece = IsRegularFile(inCookie) ? inSize : PIPE_BUF;
    size_t done = 0;
    while (done < inSize && WaitForRoom(descriptor)) {
        const ssize_t count = write(descriptor, inData + done, std::min(inSize - done, piece));
        if (count >= 0) {
            done += static_cast<size_t>(count);
        } else if (errno != EINTR && errno != EAGAIN) {
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
    }
    return static_cast<ssize_t>(inSize);
}

// False when a terminating signal arrived and there is no room right now.
bool KRVOutputStream::WaitForRoom(int inDescriptor) {
    for (;;) {
        const bool ending = KRVSignals::GetTerminatingSignal() != 0;
        switch (KRVSignalWait::ForDescriptor(inDescriptor, POLLOUT, ending ? 0 : -1)) {
            case KRVSignalWait::kReady:
                return true;
            case KRVSignalWait::kTimedOut:
                return false;
            case KRVSignalWait::kSignalled:
                KRVSignals::RunInterruptAction();
                break;
        }
    }
}
