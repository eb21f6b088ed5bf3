#pragma once

#include <string>

#include "KRVShellInterface.h"

// Passes every write on to another interface unchanged and keeps the last
// line of text written since Clear(): what a command that failed said last,
// for batch mode's one line on standard error. It only writes; reading
// gives end of input.
class KRVMessageRecorder : public KRVShellInterface {
public:
    explicit KRVMessageRecorder(KRVShellInterface* inTarget) : mTarget(inTarget) {}

    void Clear() { mText.clear(); }
    // The last line that holds more than blanks, without its newline; ""
    // when nothing was said.
    std::string GetLastLine() const;

    int ReadLine(char*, int) override { return -1; }
    void Flush() override { mTarget->Flush(); }
    int GetColumns() const override { return mTarget->GetColumns(); }
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
    template <typename... Arguments>
    void Keep(const char* inFormat, Arguments... inArguments);

    KRVShellInterface* mTarget;
    // What was written since Clear(), cut to its last lines as it grows.
    std::string mText;
};
