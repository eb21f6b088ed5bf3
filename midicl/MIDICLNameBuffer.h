#pragma once

#include <cstddef>
#include <string>

// Copies host names into the fixed C buffers the shell prints from.
class MIDICLNameBuffer {
public:
    // Copies as much of inName as fits in inSize bytes with the terminator,
    // never splitting a UTF-8 character. Does nothing when inSize is 0.
    static void Copy(const std::string& inName, char* outBuffer, std::size_t inSize);
};
