#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "KRVShellInterface.h"

class KRVLineEditor;

// Reads lines from one stdio stream and writes to another. The streams are
// not owned: whoever opened them closes them. With no output stream and no
// output delegate, writes are dropped.
//
// When both streams are terminals, lines are typed through a line editor;
// what it hands over is then read exactly as a line from a pipe.
class KRVStdioInterface : public KRVShellInterface {
public:
    KRVStdioInterface(FILE* inStream, FILE* outStream);
    ~KRVStdioInterface() override;

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
    int ReadFromStream(FILE* inStream, char* inBuffer, int inBufferLength);
    bool ReadInterruptibly(FILE* inStream, char* inBuffer, int inBufferLength);

    FILE* mInStream;
    FILE* mOutStream;
    std::unique_ptr<KRVLineEditor> mLineEditor;
};
