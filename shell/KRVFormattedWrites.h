#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "KRVShellInterface.h"

// The text a printf-style format gives. Most fit a line, and are formatted
// once.
template <typename... Arguments>
std::string KRVFormatText(const char* inFormat, Arguments... inArguments) {
    char line[256];
    int length = std::snprintf(line, sizeof line, inFormat, inArguments...);
    if (length <= 0) {
        return std::string();
    }
    if (length < static_cast<int>(sizeof line)) {
        return std::string(line, static_cast<std::size_t>(length));
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), inFormat, inArguments...);
    text.pop_back();
    return text;
}

// The same formatted write made on another output: the one of its nine
// writes that takes these arguments.
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat, int inDecimal) {
    return ioOutput.WriteFormattedD(inFormat, inDecimal);
}
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat, int inDecimal1,
                               int inDecimal2) {
    return ioOutput.WriteFormattedDD(inFormat, inDecimal1, inDecimal2);
}
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat, long inDecimal) {
    return ioOutput.WriteFormattedLD(inFormat, inDecimal);
}
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat, double inFloat) {
    return ioOutput.WriteFormattedLF(inFormat, inFloat);
}
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat,
                               unsigned long inDecimal) {
    return ioOutput.WriteFormattedLU(inFormat, inDecimal);
}
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat,
                               unsigned long inDecimal1, int inDecimal2) {
    return ioOutput.WriteFormattedLUD(inFormat, inDecimal1, inDecimal2);
}
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat,
                               const char* inString) {
    return ioOutput.WriteFormattedS(inFormat, inString);
}
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat, const char* inString1,
                               const char* inString2) {
    return ioOutput.WriteFormattedSS(inFormat, inString1, inString2);
}
inline int KRVWriteFormattedTo(KRVTextOutput& ioOutput, const char* inFormat, const char* inString,
                               int inDecimal) {
    return ioOutput.WriteFormattedSD(inFormat, inString, inDecimal);
}

// An interface whose nine formatted writes all do one thing with their
// arguments: each calls Derived::WriteFormatted(inFormat, arguments...), a
// template of the implementer's (which makes this class a friend when it
// keeps that private).
template <typename Derived>
class KRVFormattedWrites : public KRVShellInterface {
public:
    int WriteFormattedD(const char* inFormat, int inDecimal) override {
        return Self().WriteFormatted(inFormat, inDecimal);
    }
    int WriteFormattedDD(const char* inFormat, int inDecimal1, int inDecimal2) override {
        return Self().WriteFormatted(inFormat, inDecimal1, inDecimal2);
    }
    int WriteFormattedLD(const char* inFormat, long inDecimal) override {
        return Self().WriteFormatted(inFormat, inDecimal);
    }
    int WriteFormattedLF(const char* inFormat, double inFloat) override {
        return Self().WriteFormatted(inFormat, inFloat);
    }
    int WriteFormattedLU(const char* inFormat, unsigned long inDecimal) override {
        return Self().WriteFormatted(inFormat, inDecimal);
    }
    int WriteFormattedLUD(const char* inFormat, unsigned long inDecimal1, int inDecimal2) override {
        return Self().WriteFormatted(inFormat, inDecimal1, inDecimal2);
    }
    int WriteFormattedS(const char* inFormat, const char* inString) override {
        return Self().WriteFormatted(inFormat, inString);
    }
    int WriteFormattedSS(const char* inFormat, const char* inString1,
                         const char* inString2) override {
        return Self().WriteFormatted(inFormat, inString1, inString2);
    }
    int WriteFormattedSD(const char* inFormat, const char* inString, int inDecimal) override {
        return Self().WriteFormatted(inFormat, inString, inDecimal);
    }

private:
    Derived& Self() { return static_cast<Derived&>(*this); }
};

// The end of a text that grows: what the recorders of messages keep. Only
// its last kKeptBytes or more are kept, trimmed now and then rather than on
// every write.
class KRVTextTail {
public:
    static constexpr std::size_t kKeptBytes = 8192;

    void Append(std::string_view inText) {
        mText += inText;
        if (mText.size() > 2 * kKeptBytes) {
            mText.erase(0, mText.size() - kKeptBytes);
        }
    }
    void Clear() { mText.clear(); }
    const std::string& Get() const { return mText; }

private:
    std::string mText;
};
