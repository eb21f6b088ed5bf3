#pragma once

#include <cstring>
#include <string>

#include "KRVFormattedWrites.h"

// What the commands run from the live view say, kept for the view to show
// instead of written to the terminal the view draws on; and their
// questions (overwrite? discard changes?), answered on the view's command
// line through the asker.
class KRVLiveOutput : public KRVFormattedWrites<KRVLiveOutput> {
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

    void Clear() { mText.Clear(); }
    const std::string& GetText() const { return mText.Get(); }
    // The width `display` fits its blocks to.
    void SetColumns(int inColumns) { mColumns = inColumns; }

    // The view reads no lines of its own through here.
    int ReadLine(char*, int) override { return -1; }
    int ReadAnswer(char* inBuffer, int inBufferLength) override {
        return mAsker->Ask(inBuffer, inBufferLength);
    }
    int GetColumns() const override { return mColumns; }
    int Write(const char* inBuffer) override {
        mText.Append(inBuffer);
        return static_cast<int>(std::strlen(inBuffer));
    }

private:
    friend class KRVFormattedWrites<KRVLiveOutput>;
    template <typename... Arguments>
    int WriteFormatted(const char* inFormat, Arguments... inArguments) {
        const std::string text = KRVFormatText(inFormat, inArguments...);
        mText.Append(text);
        return static_cast<int>(text.size());
    }

    Asker* mAsker;
    int mColumns = 80;
    // Only the end of a long output is kept: the view shows a few lines.
    KRVTextTail mText;
};
