#include "KRVShell.h"

#include <cctype>
#include <cstring>

#include "KRVMessageRecorder.h"
#include "KRVShellInterface.h"
#include "KRVUndoHistory.h"
#include "commands/KRVArguments.h"
#include "commands/KRVWords.h"
#include "console/KRVLineLimit.h"
#include "console/KRVSignals.h"
#include "model/KRVSequencer.h"

KRVShell::KRVShell(KRVSequencer* inSequencer, KRVShellInterface* inInterface)
    : mSequencer(inSequencer), mInterface(inInterface), mContext(inSequencer, inInterface, this) {}

KRVShell::~KRVShell() = default;

void KRVShell::Shell(bool inPrompt) {
    if (inPrompt) {
        KRVSignals::SetInterruptAction(StopPlaybackFor, this);
    }
    RunLoop(inPrompt);
    if (inPrompt) {
        KRVSignals::SetInterruptAction(nullptr, nullptr);
    }
}

// SIGINT's action, which may come while the line editor waits for a key:
// what it says must be seen then, not with the next command's output.
void KRVShell::StopPlaybackFor(void* inShell) {
    KRVShell* shell = static_cast<KRVShell*>(inShell);
    shell->mContext.StopPlayback();
    shell->mInterface->Flush();
}

void KRVShell::RunLoop(bool inPrompt) {
    char buffer[kLineBufferLength];
    for (;;) {
        if (StopsForSignal(inPrompt)) {
            mStoppedBySignal = true;
            return;
        }
        if (inPrompt) {
            mContext.FollowDestinations();
            mContext.TellOutputGone(false);
            mContext.FollowPlayIn();
            mContext.TakeInput();
            mInterface->WriteFormattedD("%d krv> ", mHistoryNumber);
        }
        int length = mInterface->ReadLine(buffer, kLineBufferLength);
        if (length == -1) {
            // A read cut short by a signal is no end of input.
            if (KRVSignals::IsPending()) {
                continue;
            }
            if (int error = mInterface->GetReadError()) {
                mInterface->WriteFormattedS("krv: can't read input (%s), stopping\n",
                                            std::strerror(error));
                return;
            }
            if (MayQuit(true)) {
                return;
            }
            continue;
        }
        mLinesRead++;
        mEndAnsweredNo = false;
        if (mFailureMessages != nullptr) {
            mFailureMessages->Clear();
        }
        if (length == KRVLineLimit::kTooLong) {
            mInterface->WriteFormattedD("line too long (max=%d characters), not run\n",
                                        KRVLineLimit::kMaxLineLength);
            if (StopsAt(KRVCommandResult::kFailed, "")) {
                return;
            }
            continue;
        }
        if (length == KRVLineLimit::kHasNul) {
            SayNulLine();
            if (StopsAt(KRVCommandResult::kFailed, "")) {
                return;
            }
            continue;
        }
        const int historyNumber = mHistoryNumber;
        mCheckedCommand = GetCheckedCommand(mLinesRead);
        KRVCommandResult result =
            Execute(std::string_view(buffer, static_cast<std::size_t>(length)));
        RecordUndoStep(historyNumber);
        if (result == KRVCommandResult::kQuit && MayQuit(false)) {
            mQuit = true;
            return;
        }
        if (StopsAt(result, buffer)) {
            return;
        }
    }
}

// In a script the line is named, for nothing shows where it was.
void KRVShell::SayNulLine() {
    if (mScriptPath.empty()) {
        mInterface->Write("line holds a NUL byte, not run\n");
        return;
    }
    mInterface->WriteFormattedSD("'%s' line %d holds a NUL byte, not run\n", mScriptPath.c_str(),
                                 mLinesRead);
}

// Only the shell that keeps the steps takes them: a script's commands are
// part of the command that read it. The step is named after the line typed
// (what "!3" ran; `default`, not the load it runs in turn).
void KRVShell::RecordUndoStep(int inHistoryNumberBefore) {
    if (mUndoHistory == nullptr || mHistoryNumber == inHistoryNumberBefore) {
        return;
    }
    mUndoHistory->Record(*mSequencer,
                         {inHistoryNumberBefore, GetHistoryEntryByNumber(inHistoryNumberBefore)});
}

// The undo step is taken only once all the lines have run, so that a key's
// select, change and unselect undo together.
KRVCommandResult KRVShell::RunAsTyped(const std::vector<std::string>& inLines,
                                      std::size_t inNamed) {
    const int historyNumber = mHistoryNumber;
    KRVCommandResult result = KRVCommandResult::kSucceeded;
    for (const std::string& line : inLines) {
        const KRVCommandResult lineResult = Execute(line);
        if (result == KRVCommandResult::kSucceeded) {
            result = lineResult;
        }
    }
    if (mUndoHistory != nullptr && mHistoryNumber != historyNumber) {
        const int named = historyNumber + static_cast<int>(inNamed);
        mUndoHistory->Record(*mSequencer, {named, GetHistoryEntryByNumber(named)});
    }
    return result;
}

bool KRVShell::StopsAt(KRVCommandResult inResult, const char* inLine) {
    if (mFailureMessages == nullptr || inResult != KRVCommandResult::kFailed) {
        return false;
    }
    KRVLineWords words;
    words.Split(inLine);
    mFailure.mLine = mLinesRead;
    mFailure.mCommand = words.Get(0);
    mFailure.mMessage = mFailureMessages->GetLastLine();
    return true;
}

// SIGTERM and SIGHUP end every loop, as `quit` does. SIGINT ends a script
// being read and is acted on at the prompt: playback stops, and the prompt
// comes again.
bool KRVShell::StopsForSignal(bool inPrompt) {
    if (KRVSignals::GetTerminatingSignal() != 0) {
        return true;
    }
    if (!inPrompt) {
        return KRVSignals::IsPending();
    }
    KRVSignals::ActOnInterrupt();
    return false;
}

// A command's output goes out in one piece when it ends. The lines of a
// script are part of the command that reads the script, so a script's shell
// leaves that to the console's.
KRVCommandResult KRVShell::Execute(std::string_view inLine) {
    const KRVCommandResult result = ExecuteLine(inLine);
    if (!IsReadingScript()) {
        mInterface->Flush();
    }
    return result;
}

// Each depth of lines run from inside a line (a history reference,
// `default`) has a words' list of its own, kept for the next line at that
// depth: the lines of a script are split into one list's room. Measured: a
// load of 1,024 tracks of 64 steps (bench/scale.py) takes 40 % longer
// without.
KRVCommandResult KRVShell::ExecuteLine(std::string_view inLine) {
    const KRVCommand* checked = std::exchange(mCheckedCommand, nullptr);
    if (mLineDepth == mWordLists.size()) {
        mWordLists.push_back(std::make_unique<KRVLineWords>());
    }
    KRVLineWords& words = *mWordLists[mLineDepth];
    words.Split(inLine);
    mLineDepth++;
    const KRVCommandResult result = ExecuteWords(inLine, words, checked);
    mLineDepth--;
    return result;
}

KRVCommandResult KRVShell::ExecuteWords(std::string_view inLine, const KRVLineWords& inWords,
                                        const KRVCommand* inChecked) {
    // Nothing but blanks, a lone backslash or empty quotes: like an empty line.
    if (inWords.IsEmpty()) {
        return KRVCommandResult::kSucceeded;
    }
    // The check's command is taken only for the word it was found by: a
    // line counted differently from the check (should that ever happen)
    // is looked up again rather than run by another row. Compared by
    // strcmp alone (a checked line holds no NUL), not strlen and memcmp:
    // a load of 1,024 tracks of 64 steps takes 4 % less CPU so.
    const char* first = inWords.GetText(0);
    if (inChecked != nullptr && std::strcmp(first, inChecked->mName) != 0 &&
        std::strcmp(first, inChecked->mAlias) != 0) {
        inChecked = nullptr;
    }
    if (const KRVCommand* command =
            inChecked != nullptr ? inChecked : KRVCommandTable::Find(inWords.Get(0))) {
        // Saved as typed, before the handler runs, whatever it then says.
        SaveToHistory(inLine);
        KRVArguments arguments(inWords);
        const char* refusal = arguments.Read(*command, *mSequencer);
        return refusal != nullptr ? mContext.Refuse(refusal)
                                  : command->mHandler(mContext, arguments);
    }
    if (first[0] == '!') {
        return ExpandHistory(first);
    }
    mInterface->WriteFormattedS("%s: command not found\n", first);
    return KRVCommandResult::kFailed;
}

// Once the history is full, each new line takes the oldest one's place and
// its room: a script's lines cost no allocation here.
void KRVShell::SaveToHistory(std::string_view inCommand) {
    if (GetHistoryCount() < kMaxHistory) {
        mHistory.emplace_back(mHistoryNumber, inCommand);
    } else {
        std::pair<int, std::string>& oldest = mHistory[mOldestEntry];
        oldest.first = mHistoryNumber;
        // Cleared and appended to, not assigned: the text cannot overlap
        // the entry's, and the append skips assign's check that it does.
        oldest.second.clear();
        oldest.second.append(inCommand);
        mOldestEntry = mOldestEntry + 1 < kMaxHistory ? mOldestEntry + 1 : 0;
    }
    mHistoryNumber++;
}

const std::pair<int, std::string>& KRVShell::GetEntry(int inIndex) const {
    return mHistory[(mOldestEntry + inIndex) % GetHistoryCount()];
}

std::pair<int, std::string> KRVShell::GetHistoryEntryByIndex(int inIndex) const {
    if (inIndex < 0 || inIndex >= GetHistoryCount()) {
        return {0, std::string()};
    }
    return GetEntry(inIndex);
}

// Negative numbers count back from the newest entry: -1 is the last line.
std::string KRVShell::GetHistoryEntryByNumber(int inIndex) const {
    if (inIndex < 0) {
        inIndex += mHistoryNumber;
    }
    for (int i = 0; i < GetHistoryCount(); i++) {
        if (GetEntry(i).first == inIndex) {
            return GetEntry(i).second;
        }
    }
    return std::string();
}

// The most recent line that begins with the text (a prefix match).
std::string KRVShell::GetHistoryEntryBySubString(const char* inSubString) const {
    size_t length = std::strlen(inSubString);
    std::string found;
    for (int i = 0; i < GetHistoryCount(); i++) {
        if (GetEntry(i).second.compare(0, length, inSubString, length) == 0) {
            found = GetEntry(i).second;
        }
    }
    return found;
}

// Any words after the reference are ignored.
KRVCommandResult KRVShell::ExpandHistory(const std::string& inWord) {
    std::string reference = inWord.substr(1);
    std::string line;
    if (!reference.empty()) {
        if (std::isdigit(static_cast<unsigned char>(reference[0])) || reference[0] == '-') {
            line = GetHistoryEntryByNumber(KRVReadInt(reference));
        } else {
            line = GetHistoryEntryBySubString(reference.c_str());
        }
        // "!!" and anything else starting with two of them repeats the last line.
        if (line.empty() && reference[0] == '!') {
            line = GetHistoryEntryByNumber(-1);
        }
    }
    if (line.empty()) {
        mInterface->WriteFormattedS("%s: event not found\n", reference.c_str());
        return KRVCommandResult::kFailed;
    }
    mInterface->WriteFormattedS("%s\n", line.c_str());
    return ExecuteLine(line.c_str());
}

// An end of input that answers the question is a no, as for the overwrite
// question; one more right after it leaves, so that input that has ended
// for good is not asked about for ever.
bool KRVShell::MayQuit(bool inAtEndOfInput) {
    if (!mAsksBeforeQuit || IsReadingScript() || !HasUnsavedChanges()) {
        return true;
    }
    if (inAtEndOfInput && mEndAnsweredNo) {
        return true;
    }
    mInterface->Write("unsaved changes - quit anyway (y/n) ?");
    bool ended = false;
    const bool yes = ReadsYes(&ended);
    mEndAnsweredNo = ended;
    return yes;
}

bool KRVShell::MayDiscardChanges(const char* inVerb) {
    if (!mAsksBeforeQuit || IsReadingScript() || !HasUnsavedChanges()) {
        return true;
    }
    mInterface->WriteFormattedS("unsaved changes - %s anyway (y/n) ?", inVerb);
    return ReadsYes();
}

// A whole line is read, so no rest of it can run as a command; one too
// long for "yes" is no answer, and so a no, as is Ctrl-C.
bool KRVShell::ReadsYes(bool* outEnded) {
    char answer[4];
    int length;
    do {
        length = mInterface->ReadAnswer(answer, sizeof answer);
        if (length != -1 && length != KRVShellInterface::kInterrupted) {
            mLinesRead++;
        }
    } while (length == 0);
    if (outEnded != nullptr) {
        *outEnded = length == -1;
    }
    return length > 0 && (answer[0] == 'y' || answer[0] == 'Y');
}
