#include "KRVMessageRecorder.h"

#include <cstdio>

namespace {

// A failing command's message is short; a command that writes much (a save
// of many tracks) before it fails needs only its end kept.
constexpr std::size_t kKeptBytes = 8192;

}  // namespace

std::string KRVMessageRecorder::GetLastLine() const {
    std::size_t end = mText.size();
    while (end > 0) {
        std::size_t newline = mText.rfind('\n', end - 1);
        std::size_t start = newline == std::string::npos ? 0 : newline + 1;
        std::string line = mText.substr(start, end - start);
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            return line;
        }
        if (newline == std::string::npos) {
            break;
        }
        end = newline;
    }
    return std::string();
}

template <typename... Arguments>
void KRVMessageRecorder::Keep(const char* inFormat, Arguments... inArguments) {
    int length = std::snprintf(nullptr, 0, inFormat, inArguments...);
    if (length > 0) {
        std::string text(length + 1, '\0');
        std::snprintf(text.data(), text.size(), inFormat, inArguments...);
        text.pop_back();
        mText += text;
    }
    if (mText.size() > 2 * kKeptBytes) {
        mText.erase(0, mText.size() - kKeptBytes);
    }
}

int KRVMessageRecorder::Write(const char* inBuffer) {
    Keep("%s", inBuffer);
    return mTarget->Write(inBuffer);
}

// Each formatted write keeps its text and passes the same call on.
#define KRV_KEEP_AND_PASS(Operation, ...) \
    Keep(__VA_ARGS__);                    \
    return mTarget->Operation(__VA_ARGS__);

int KRVMessageRecorder::WriteFormattedD(const char* inFormat, int inDecimal) {
    KRV_KEEP_AND_PASS(WriteFormattedD, inFormat, inDecimal)
}

int KRVMessageRecorder::WriteFormattedDD(const char* inFormat, int inDecimal1, int inDecimal2) {
    KRV_KEEP_AND_PASS(WriteFormattedDD, inFormat, inDecimal1, inDecimal2)
}

int KRVMessageRecorder::WriteFormattedLD(const char* inFormat, long inDecimal) {
    KRV_KEEP_AND_PASS(WriteFormattedLD, inFormat, inDecimal)
}

int KRVMessageRecorder::WriteFormattedLF(const char* inFormat, double inFloat) {
    KRV_KEEP_AND_PASS(WriteFormattedLF, inFormat, inFloat)
}

int KRVMessageRecorder::WriteFormattedLU(const char* inFormat, unsigned long inDecimal) {
    KRV_KEEP_AND_PASS(WriteFormattedLU, inFormat, inDecimal)
}

int KRVMessageRecorder::WriteFormattedLUD(const char* inFormat, unsigned long inDecimal1,
                                          int inDecimal2) {
    KRV_KEEP_AND_PASS(WriteFormattedLUD, inFormat, inDecimal1, inDecimal2)
}

int KRVMessageRecorder::WriteFormattedS(const char* inFormat, const char* inString) {
    KRV_KEEP_AND_PASS(WriteFormattedS, inFormat, inString)
}

int KRVMessageRecorder::WriteFormattedSS(const char* inFormat, const char* inString1,
                                         const char* inString2) {
    KRV_KEEP_AND_PASS(WriteFormattedSS, inFormat, inString1, inString2)
}

int KRVMessageRecorder::WriteFormattedSD(const char* inFormat, const char* inString,
                                         int inDecimal) {
    KRV_KEEP_AND_PASS(WriteFormattedSD, inFormat, inString, inDecimal)
}

#undef KRV_KEEP_AND_PASS
