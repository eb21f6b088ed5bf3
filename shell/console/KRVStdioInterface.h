#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "KRVFormattedWrites.h"
#include "console/KRVLineEditor.h"

// Reads lines from one stdio stream and writes to another. The streams are
// not owned: whoever opened them closes them, after a last Flush or after
// the interface has gone. With no output stream and no output delegate,
// writes are dropped.
//
// What is written is held here and sent on in one piece by Flush: the shell
// flushes when a command of the console ends, and this interface before it
// reads a line or an answer and when it goes; a command that runs long
// (`shell`, and `save` with its progress) flushes as its output comes. A
// write never makes a system call of its own, so a command's output costs a
// few, however many pieces it is written in. Past kMaxHeldBytes what is
// held goes on at once, so that no output, however long, is held whole in
// memory (a `load` of a large script says some 200 bytes an event).
//
// When both streams are terminals, lines are typed through a line editor;
// what it hands over is then read exactly as a line from a pipe. Final, as
// the shell is, so that its calls of its own functions are direct.
class KRVStdioInterface final : public KRVFormattedWrites<KRVStdioInterface> {
public:
    // Held output past this size goes on without waiting for a flush: more
    // than nearly any command says, little enough to stay in the caches.
    static constexpr std::size_t kMaxHeldBytes = std::size_t(128) << 10;

    KRVStdioInterface(FILE* inStream, FILE* outStream);
    // Lines read from a script's text, which must outlive the interface;
    // its output goes to the output delegate.
    explicit KRVStdioInterface(std::string_view inText);
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
    // Sends what is held to the output stream (or the delegate's Flush).
    void Flush() override;
    int GetReadError() const override { return mReadError; }
    int GetColumns() const override;
    // Where lines are typed through the line editor.
    Terminal GetTerminal() const override;
    // Lines read so far, refused ones and answers included: where a script
    // stands.
    int GetLinesRead() const { return mLinesRead; }
    int Write(const char* inBuffer) override;
    int WriteSized(std::string_view inText) override;

private:
    friend class KRVFormattedWrites<KRVStdioInterface>;
    // Every formatted write: passed to the output delegate when there is
    // one, or printed to the output stream (through the line editor at a
    // terminal), or (with neither) dropped like Write.
    template <typename... Arguments>
    int WriteFormatted(const char* inFormat, Arguments... inArguments) {
        if (mOutputDelegate != nullptr) {
            return KRVWriteFormattedTo(*mOutputDelegate, inFormat, inArguments...);
        }
        return PrintFormatted(inFormat, inArguments...);
    }
    // Reads from this interface's own input; a line typed at a terminal is
    // kept for recall only with inRemember.
    int ReadOwnLine(char* inBuffer, int inBufferLength, KRVLineEditor::Kind inKind);
    int ReadFromStream(FILE* inStream, char* inBuffer, int inBufferLength);
    int ReadFromText(char* inBuffer, int inBufferLength);
    bool ReadRawLine(FILE* inStream, size_t inKeep, std::string* outLine, bool* outCut,
                     bool* outEnded);
    static bool AwaitInput(FILE* inStream);
    // Every write to the output stream passes here: the text is held, and
    // sent on when a flush comes, or when too much is held.
    int Print(std::string_view inText);
    template <typename... Arguments>
    int PrintFormatted(const char* inFormat, Arguments... inArguments);
    // Sends what is held, in one piece, and flushes the stream.
    void SendHeld();

    FILE* mInStream;
    FILE* mOutStream;
    std::unique_ptr<KRVLineEditor> mLineEditor;
    int mLinesRead = 0;
    int mReadError = 0;
    // The line being read.
    std::string mLine;
    // A script's text not read yet, when the lines come from one.
    std::string_view mText;
    bool mReadsText = false;
    // The first NUL byte of mText, null for none: the text is searched for
    // them a NUL at a time, not a line at a time.
    const char* mNextNul = nullptr;
    // Text written and not yet sent on, including what is written while a
    // send of ours waits for room (SIGINT's action): that goes on when the
    // send ends, since the stream must not be entered again meanwhile.
    std::string mHeld;
    // What is being sent, apart, so that what is written meanwhile cannot
    // move it.
    std::string mSent;
    bool mSending = false;
};
