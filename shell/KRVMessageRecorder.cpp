#include "KRVMessageRecorder.h"

#include <cstdio>

// A failing command's message is short; a command that writes much (a save
// of many tracks) before it fails leaves its end kept.
std::string KRVMessageRecorder::GetLastLine() const {
    const std::string& text = mText.Get();
    std::size_t end = text.size();
    while (end > 0) {
        std::size_t newline = text.rfind('\n', end - 1);
        std::size_t start = newline == std::string::npos ? 0 : newline + 1;
        std::string line = text.substr(start, end - start);
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

int KRVMessageRecorder::Write(const char* inBuffer) {
    mText.Append(inBuffer);
    return mTarget->Write(inBuffer);
}
