#pragma once

#include <cstddef>

// How long a command line may be, wherever it comes from (a pipe, a script,
// the terminal). A line is taken whole or not at all: a longer one is
// consumed to its end and refused, so no tail of it ever runs as a command
// of its own. Every line krv saves fits.
class KRVLineLimit {
public:
    static constexpr int kMaxLineLength = 4096;
    // Holds the longest line and its terminating zero.
    static constexpr int kBufferLength = kMaxLineLength + 1;
    // What ReadLine gives for a line that did not fit its buffer.
    static constexpr int kTooLong = -2;
    // What ReadLine gives for a line with a NUL byte in it, consumed and
    // refused whole: the NUL would silently cut the line short.
    static constexpr int kHasNul = -3;

    // Copies a line of inLength characters (its newline already gone) and a
    // terminating zero into outBuffer and returns inLength; kTooLong, with
    // nothing copied, when it does not fit in inBufferLength.
    static int Deliver(const char* inLine, size_t inLength, char* outBuffer, int inBufferLength);
};
