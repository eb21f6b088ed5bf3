#include "live/KRVLiveOutput.h"

#include <cstdio>

namespace {

// Far more than the view shows, little enough to trim rarely.
constexpr std::size_t kKeptBytes = 8192;

}  // namespace

template <typename... Arguments>
int KRVLiveOutput::Keep(const char* inFormat, Arguments... inArguments) {
    int length = std::snprintf(nullptr, 0, inFormat, inArguments...);
    if (length > 0) {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::snprintf(text.data(), text.size(), inFormat, inArguments...);
        text.pop_back();
        mText += text;
    }
    if (mText.size() > 2 * kKeptBytes) {
        mText.erase(0, mText.size() - kKeptBytes);
    }
    return length;
}

int KRVLiveOutput::Write(const char* inBuffer) {
    return Keep("%s", inBuffer);
}

int KRVLiveOutput::WriteFormattedD(const char* inFormat, int inDecimal) {
    return Keep(inFormat, inDecimal);
}

int KRVLiveOutput::WriteFormattedDD(const char* inFormat, int inDecimal1, int inDecimal2) {
    return Keep(inFormat, inDecimal1, inDecimal2);
}

int KRVLiveOutput::WriteFormattedLD(const char* inFormat, long inDecimal) {
    return Keep(inFormat, inDecimal);
}

int KRVLiveOutput::WriteFormattedLF(const char* inFormat, double inFloat) {
    return Keep(inFormat, inFloat);
}

int KRVLiveOutput::WriteFormattedLU(const char* inFormat, unsigned long inDecimal) {
    return Keep(inFormat, inDecimal);
}

int KRVLiveOutput::WriteFormattedLUD(const char* inFormat, unsigned long inDecimal1,
                                     int inDecimal2) {
    return Keep(inFormat, inDecimal1, inDecimal2);
}

int KRVLiveOutput::WriteFormattedS(const char* inFormat, const char* inString) {
    return Keep(inFormat, inString);
}

int KRVLiveOutput::WriteFormattedSS(const char* inFormat, const char* inString1,
                                    const char* inString2) {
    return Keep(inFormat, inString1, inString2);
}

int KRVLiveOutput::WriteFormattedSD(const char* inFormat, const char* inString, int inDecimal) {
    return Keep(inFormat, inString, inDecimal);
}
