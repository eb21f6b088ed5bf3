#pragma once

#include <string>

#include "KRVShellInterface.h"

// What the commands run from the live view say, kept for the view to show
// instead of written to the terminal the view draws on; and their
// questions (overwrite? discard changes?), answered on the view's command
// line through the asker.
class KRVLiveOutput : public KRVShellInterface {
public:
    // Reads the answer to the question that the text held ends with;
    // returns as ReadAnswer does.
    class Asker {
    public:
        virtual int Ask(char* outBuffer, int inBufferLength) = 0;

    protected:
        ~Asker() = default;
    };

    explicit KRVLiveOutput(Asker* inAsker) : mAsker(inAsker) {}

    void Clear() { mText.clear(); }
    const std::string& GetText() const { return mText; }
    // The width `display` fits its blocks to.
    void SetColumns(int inColumns) { mColumns = inColumns; }

    // The view reads no lines of its own through here.
    int ReadLine(char*, int) override { return -1; }
    int ReadAnswer(char* inBuffer, int inBufferLength) override {
        return mAsker->Ask(inBuffer, inBufferLength);
    }
    int GetColumns() const override { return mColumns; }
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
    int Keep(const char* inFormat, Arguments... inArguments);

    Asker* mAsker;
    int mColumns = 80;
    // Only the end of a long output is kept: the view shows a few lines.
    std::string mText;
};
