#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "KRVLineEditor.h"
#include "KRVShellInterface.h"

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

    // Whether an interface over these streams types lines through the line
    // editor (both are terminals).
    static bool EditsLines(FILE* inStream, FILE* outStream);
    // What Tab completes in typed lines; nothing without it.
    void SetCompleter(KRVLineEditor::Completer inCompleter);

    // Reads one whole line; one that does not fit in the buffer is consumed
    // and refused with KRVLineLimit::kTooLong.
    int ReadLine(char* inBuffer, int inBufferLength) override;
    int ReadAnswer(char* inBuffer, int inBufferLength) override;
    void Flush() override;
    int GetReadError() const override { return mReadError; }
    int GetColumns() const override;
    // Lines read so far, refused ones and answers included: where a script
    // stands.
    int GetLinesRead() const { return mLinesRead; }
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
    // Reads from this interface's own input; a line typed at a terminal is
    // kept for recall only with inRemember.
    int ReadOwnLine(char* inBuffer, int inBufferLength, bool inRemember);
    int ReadFromStream(FILE* inStream, char* inBuffer, int inBufferLength);
    bool ReadRawLine(FILE* inStream, size_t inKeep, std::string* outLine, bool* outCut,
                     bool* outEnded);
    static bool AwaitInput(FILE* inStream);
    // Every write to the output stream passes here; inFlush sends it on at
    // once.
    int Print(const std::string& inText, bool inFlush);

    FILE* mInStream;
    FILE* mOutStream;
    std::unique_ptr<KRVLineEditor> mLineEditor;
    int mLinesRead = 0;
    int mReadError = 0;
    // Text written while a write of ours waits for room, held until it ends.
    bool mPrinting = false;
    std::string mHeldText;
};
