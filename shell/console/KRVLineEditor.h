#pragma once

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "console/KRVHistoryFile.h"

typedef struct editline EditLine;
typedef struct history History;

// Line editing at a terminal (libedit): cursor keys, Home/End, word moves,
// recall with the up and down arrows, Ctrl-R search, Tab completion, and a
// history that is kept between runs. Only the console uses it, and only
// when both its input and its output are terminals; lines from pipes and
// files never come near it.
//
// Text printed at the terminal passes through here so that whatever follows
// the last newline (the numbered prompt, a yes/no question) is held back
// and shown by the editor as its prompt, which it redraws while editing.
// Lines printed while a line is typed (what keys played in did) go above
// it, and the line being typed is drawn again below them.
//
// Ctrl-C drops the typed line and shows the prompt afresh: the wait for a
// key ends on the signal (KRVSignalWait), and KRVSignals tells that it was
// a SIGINT. What completes a word is given from outside (SetCompleter), so
// that reading lines needs nothing of the commands.
class KRVLineEditor {
public:
    // What Tab offers for the text left of the cursor: every word that could
    // stand in place of its last word, and that word as typed (what a
    // completion replaces).
    struct Completion {
        std::vector<std::string> mCandidates;
        std::string mTyped;
    };
    using Completer = Completion (*)(const std::string& inBeforeCursor);

    KRVLineEditor(FILE* inStream, FILE* outStream, const std::string& inHistoryPath);
    ~KRVLineEditor();
    KRVLineEditor(const KRVLineEditor&) = delete;
    KRVLineEditor& operator=(const KRVLineEditor&) = delete;

    // Prints complete lines at once and holds a trailing partial line as the
    // next prompt. Returns the length of inText.
    int Print(const std::string& inText);
    // A stream holding the next typed line with its newline, so that it can
    // be read exactly as lines from a pipe are; a line read only in part
    // comes again until it is used up. nullptr at end of input (Ctrl-D on
    // an empty line, after a newline so the next prompt starts clean).
    // A command line is kept for recall and in the history file. Ctrl-C
    // drops a command line and asks again; it ends an answer (nullptr, and
    // TakeInterruptedAnswer says so), which the asker takes as a no.
    enum class Kind { kCommand, kAnswer };
    FILE* GetLineStream(Kind inKind);
    // Whether the last answer read ended with Ctrl-C; asking clears it.
    bool TakeInterruptedAnswer() { return std::exchange(mInterruptedAnswer, false); }

    // Without a completer, Tab completes nothing.
    void SetCompleter(Completer inCompleter) { mCompleter = inCompleter; }

private:
    static const char* GetPrompt(EditLine* inEditLine);
    static int ReadCharacter(EditLine* inEditLine, wchar_t* outCharacter);
    static unsigned char CompleteWord(EditLine* inEditLine, int inKey);
    void BindKeys();
    void Remember(const std::string& inLine);
    bool ReadTypedLine(Kind inKind);
    void ListCandidates(const std::vector<std::string>& inCandidates);
    void CloseLineStream();
    int PrintAbove(const std::string& inText);
    static std::string GetCommonStart(const std::vector<std::string>& inCandidates);

    int mInDescriptor;
    FILE* mOutStream;
    EditLine* mEditLine;
    History* mHistory;
    KRVHistoryFile mHistoryFile;
    std::vector<std::string> mRemembered;
    std::string mPrompt;
    // Whether a line is being typed, and what was printed meanwhile after
    // its last newline (shown with the next line printed above).
    bool mEditing = false;
    std::string mAbove;
    bool mInterruptedAnswer = false;
    std::string mLine;
    FILE* mLineStream = nullptr;
    Completer mCompleter = nullptr;
};
