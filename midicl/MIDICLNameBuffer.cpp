#include "MIDICLNameBuffer.h"

#include <cstring>

void MIDICLNameBuffer::Copy(const std::string& inName, char* outBuffer, std::size_t inSize) {
    if (inSize == 0) {
        return;
    }
    std::size_t length = inName.size() < inSize ? inName.size() : inSize - 1;
    if (length < inName.size()) {
        // Back off over continuation bytes (10xxxxxx) so that the cut falls
        // before the lead byte of the character that does not fit.
        while (length > 0 && (static_cast<unsigned char>(inName[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::memcpy(outBuffer, inName.data(), length);
    outBuffer[length] = '\0';
}
