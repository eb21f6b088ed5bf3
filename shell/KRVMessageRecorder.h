#pragma once

#include <string>

#include "KRVFormattedWrites.h"

// Passes every write on to another interface unchanged and keeps the last
// line of text written since Clear(): what a command that failed said last,
// for batch mode's one line on standard error. It only writes; reading
// gives end of input.
class KRVMessageRecorder : public KRVFormattedWrites<KRVMessageRecorder> {
public:
    explicit KRVMessageRecorder(KRVShellInterface* inTarget) : mTarget(inTarget) {}

    void Clear() { mText.Clear(); }
    // The last line that holds more than blanks, without its newline; ""
    // when nothing was said.
    std::string GetLastLine() const;

    int ReadLine(char*, int) override { return -1; }
    void Flush() override { mTarget->Flush(); }
    int GetColumns() const override { return mTarget->GetColumns(); }
    int Write(const char* inBuffer) override;

private:
    friend class KRVFormattedWrites<KRVMessageRecorder>;
    // Keeps the text and passes the same call on.
    template <typename... Arguments>
    int WriteFormatted(const char* inFormat, Arguments... inArguments) {
        mText.Append(KRVFormatText(inFormat, inArguments...));
        return KRVWriteFormattedTo(*mTarget, inFormat, inArguments...);
    }

    KRVShellInterface* mTarget;
    // What was written since Clear(), cut to its last lines as it grows.
    KRVTextTail mText;
};
