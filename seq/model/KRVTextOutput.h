#pragma once

#include <string_view>

// Where the sequencer's reports go. The shell's console interface is one; the
// sequencer never prints for itself, so it builds and runs without a shell.
// Each formatted write takes one printf-style format and the fixed argument
// list its suffix names (D int, LD long, LU unsigned long, LF double, S
// string).
class KRVTextOutput {
public:
    KRVTextOutput() = default;
    virtual ~KRVTextOutput() = default;
    KRVTextOutput(const KRVTextOutput&) = delete;
    KRVTextOutput& operator=(const KRVTextOutput&) = delete;

    virtual int Write(const char* inBuffer) = 0;
    // The same for a text whose length is known, a NUL just past it: the
    // answers a big script's lines give need not be measured again.
    virtual int WriteSized(std::string_view inText) { return Write(inText.data()); }
    virtual int WriteFormattedD(const char* inFormat, int inDecimal) = 0;
    virtual int WriteFormattedDD(const char* inFormat, int inDecimal1, int inDecimal2) = 0;
    virtual int WriteFormattedLD(const char* inFormat, long inDecimal) = 0;
    virtual int WriteFormattedLF(const char* inFormat, double inFloat) = 0;
    virtual int WriteFormattedLU(const char* inFormat, unsigned long inDecimal) = 0;
    virtual int WriteFormattedLUD(const char* inFormat, unsigned long inDecimal1,
                                  int inDecimal2) = 0;
    virtual int WriteFormattedS(const char* inFormat, const char* inString) = 0;
    virtual int WriteFormattedSS(const char* inFormat, const char* inString1,
                                 const char* inString2) = 0;
    virtual int WriteFormattedSD(const char* inFormat, const char* inString, int inDecimal) = 0;
};
