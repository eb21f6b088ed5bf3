#pragma once

#include <sys/types.h>

#include <cstdio>

// A stdio stream over a descriptor whose writes wait for room through
// KRVSignalWait, so that a signal is acted on while nobody reads:
// - SIGTERM or SIGHUP: what does not fit at once is dropped, so that krv
//   ends (the flush at exit included) even on a pipe that is never read;
// - SIGINT: its action runs at once (playback stops) and the write goes on
//   waiting, so that nothing is lost.
// The console's output goes through one unless the line editor holds the
// terminal.
class KRVOutputStream {
public:
    // Buffered fully, as stdio buffers a pipe; closing it leaves
    // inDescriptor open. Null when no stream could be made.
    static FILE* Open(int inDescriptor);
    // Puts such a stream in the place of stdout (line-buffered at a
    // terminal), so that everything printed there, and the flush at exit,
    // goes through it. Before anything is printed.
    static void TakeOverStandardOutput();

private:
    static ssize_t Write(void* inCookie, const char* inData, size_t inSize);
    static bool WaitForRoom(int inDescriptor);
};
