#pragma once

#include <cstdio>

#include "KRVShellInterface.h"

// Reads lines from one stdio stream and writes to another. The streams are
// not owned: whoever opened them closes them. With no output stream and no
// output delegate, writes are dropped.
class KRVStdioInterface : public KRVShellInterface {
public:
    KRVStdioInterface(FILE* inStream, FILE* outStream);

    int ReadLine(char* inBuffer, int inBufferLength) override;
    int Write(const char* inBuffer) override;
    int WriteFormattedD(const char* inFormat, int inDecimal) override;
    int WriteFormattedDD(const char* inFormat, int inDecimal1, int inDecimal2) override;
    int WriteFormattedLD(const char* inFormat, long inDecimal) override;
    int WriteFormattedLF(const char* inFormat, double inFloat) override;
    int WriteFormattedLU(const char* inFormat, unsigned long inDecimal) override;
    int WriteFormattedLUD(const char* inFormat, unsigned long inDecimal1, int inDecimal2) override;
    int WriteFormattedS(const char* inFormat, const char* inString) override;
    int WriteFormattedSS(const char* inFormat, const char* inString1,
                         const char* inString2) override;
    int WriteFormattedSD(const char* inFormat, const char* inString, int inDecimal) override;

private:
    FILE* mInStream;
    FILE* mOutStream;
};
