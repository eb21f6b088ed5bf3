#include "console/KRVLineLimit.h"

#include <cstring>

int KRVLineLimit::Deliver(const char* inLine, size_t inLength, char* outBuffer,
                          int inBufferLength) {
    if (inBufferLength < 1 || inLength > static_cast<size_t>(inBufferLength - 1)) {
        return kTooLong;
    }
    std::memcpy(outBuffer, inLine, inLength);
    outBuffer[inLength] = '\0';
    return static_cast<int>(inLength);
}
