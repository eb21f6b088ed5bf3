#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KRVCommandContext.h"
#include "commands/KRVWords.h"
#include "console/KRVLineLimit.h"
#include "model/KRVSequencerState.h"

class KRVMessageRecorder;
struct KRVCommand;
class KRVSequencer;
class KRVShellInterface;
class KRVUndoHistory;

// The command interpreter: reads lines through its interface, splits them
// into words, looks the first word up in the command table and runs that
// command's handler. It keeps a numbered history of the lines it ran and
// expands history references ("!!", "!12", "!-1", "!sel").
//
// A shell is tied to one input: the console, or one script being read. The
// handlers see only its command context, and through it the few services
// the shell gives them (KRVCommandContext::Shell).
//
// Final, so that its calls of its own services are direct, not through the
// table of virtual functions (1 % of a load's instructions, with the
// interface's).
class KRVShell final : private KRVCommandContext::Shell {
public:
    static constexpr int kMaxHistory = 50;
    static constexpr int kLineBufferLength = KRVLineLimit::kBufferLength;
    // Scripts read scripts at most this deep, and at most this many in all
    // for one command of the console.
    static constexpr int kMaxScriptDepth = 16;
    static constexpr int kMaxScriptsRead = 100;

    // What batch mode says of the command that stopped it: the line it
    // stood on (1 = the first), its first word and its last line of output.
    struct Failure {
        int mLine = 0;
        std::string mCommand;
        std::string mMessage;
    };

    KRVShell(KRVSequencer* inSequencer, KRVShellInterface* inInterface);
    ~KRVShell();

    // Runs the loop until quit or end of input; inPrompt shows "%d krv> ".
    void Shell(bool inPrompt);
    // Whether the loop ended for a signal (SIGINT ends a script's loop).
    bool WasStoppedBySignal() const { return mStoppedBySignal; }
    // Whether it ended for `quit`.
    bool HasQuit() const { return mQuit; }
    // Runs one line. An empty line succeeds; a word that is no command fails.
    // At the console (not in a script) what the line wrote is then flushed.
    KRVCommandResult Execute(std::string_view inLine) override;
    // What the commands of this shell see, and the settings they read by.
    KRVCommandContext& GetContext() { return mContext; }

    // How the questions of this shell and of the scripts it reads are
    // answered: by the next line read (the console, a script read at the
    // prompt), with yes to overwriting a file (--overwrite), or not at all,
    // a question failing the command instead (batch jobs, which must do the
    // same on every run).
    void SetOverwrites(bool inOverwrites) { mOverwrites = inOverwrites; }
    void SetRefusesQuestions(bool inRefuses) { mRefusesQuestions = inRefuses; }
    // The lines this shell reads at the top are a script's, read whole
    // beforehand (batch mode's files): host commands need the permission
    // scripts need.
    void SetReadsScriptFile(bool inScript) { mReadsScriptFile = inScript; }
    // Batch mode: the loop ends at the first command that fails (or line
    // refused), with what it said taken from inMessages, which the shell's
    // output must pass through.
    void StopAtFailure(KRVMessageRecorder* inMessages) { mFailureMessages = inMessages; }
    bool HasFailed() const { return mFailure.mLine > 0; }
    const Failure& GetFailure() const { return mFailure; }

    // Undo and unsaved changes. From StartTracking on, each command this
    // shell reads that changes the sequence, the selection, the channel
    // names or the tempo becomes one undo step, and the state it starts
    // from counts as saved.
    void StartTracking();
    // Where this shell keeps the steps; null before StartTracking, and in
    // the shells of scripts, whose commands are steps of the command that
    // read them.
    KRVUndoHistory* GetUndoHistory() const override { return mUndoHistory.get(); }
    // With true (input from a terminal), quit and end of input ask first
    // while there are unsaved changes.
    void SetAsksBeforeQuit(bool inAsks) { mAsksBeforeQuit = inAsks; }
    // Runs a script already read whole (the command line's) through a shell
    // of its own, as `read` (or with inClearFirst `load`) would.
    // inLineCommands are what load's check of the text found
    // (KRVScriptFile::TakeLineCommands), none when it was not checked.
    KRVCommandResult RunReadScript(const std::string& inPath, std::string inText, bool inClearFirst,
                                   std::vector<unsigned char> inLineCommands = {});

private:
    // The services of KRVCommandContext::Shell.
    bool MayOverwrite(const char* inPath, const char* inWhat) override;
    bool MayDiscardChanges(const char* inVerb) override;
    KRVCommandResult RunScript(const std::string& inPath, bool inClearFirst) override;
    KRVCommandResult RunAsTyped(const std::vector<std::string>& inLines,
                                std::size_t inNamed) override;
    bool IsReadingScript() const override { return mScriptDepth > 0 || mReadsScriptFile; }
    void NoteSaved(KRVCommandContext::SavedPart inPart) override;
    bool HasUnsavedChanges() const override;
    int GetHistoryCount() const override { return static_cast<int>(mHistory.size()); }
    std::pair<int, std::string> GetHistoryEntryByIndex(int inIndex) const override;

    std::string GetHistoryEntryByNumber(int inIndex) const;
    std::string GetHistoryEntryBySubString(const char* inSubString) const;
    // Execute without the flush at the end.
    KRVCommandResult ExecuteLine(std::string_view inLine);
    // The line split into inWords; inChecked is the command the check
    // found for it, if any.
    KRVCommandResult ExecuteWords(std::string_view inLine, const KRVLineWords& inWords,
                                  const KRVCommand* inChecked);
    void SaveToHistory(std::string_view inCommand);
    // Entry inIndex, 0 for the oldest held; inIndex below the count.
    const std::pair<int, std::string>& GetEntry(int inIndex) const;
    KRVCommandResult ExpandHistory(const std::string& inWord);
    void RunLoop(bool inPrompt);
    // Whether the loop ends for a signal; acts on SIGINT at the prompt.
    bool StopsForSignal(bool inPrompt);
    static void StopPlaybackFor(void* inShell);
    bool MayReadAnotherScript(const std::string& inPath);
    // Reads the answer to a yes/no question: an empty line asks again, end
    // of input is no (and then outEnded is true).
    bool ReadsYes(bool* outEnded = nullptr);
    // Whether quit or end of input may end the loop: true unless asked at a
    // terminal with unsaved changes and answered no.
    bool MayQuit(bool inAtEndOfInput);
    // After a command of this shell: an undo step if it changed anything.
    void RecordUndoStep(int inHistoryNumberBefore);
    void SayNulLine();
    // Batch mode: whether the result ends the loop, noting the failure.
    bool StopsAt(KRVCommandResult inResult, const char* inLine);
    // Runs a script's text through a shell of its own; false when a signal
    // stopped it, with outLine the line it stopped at.
    bool RunScriptText(const std::string& inPath, std::string inText,
                       std::vector<unsigned char> inLineCommands, int* outLine);
    // The command that load's check found line inLine1 to start with; null
    // where it found none or did not look.
    const KRVCommand* GetCheckedCommand(int inLine1) const;

    KRVSequencer* mSequencer;
    KRVShellInterface* mInterface;
    KRVCommandContext mContext;
    bool mOverwrites = false;
    bool mRefusesQuestions = false;
    int mHistoryNumber = 1;
    bool mStoppedBySignal = false;
    bool mQuit = false;
    bool mReadsScriptFile = false;
    bool mAsksBeforeQuit = false;
    // The last quit question was answered with end of input: another end
    // of input right away leaves.
    bool mEndAnsweredNo = false;
    // Lines read so far, answers included: where a script stands.
    // The script this shell reads; empty for the console's.
    std::string mScriptPath;
    int mLinesRead = 0;
    KRVMessageRecorder* mFailureMessages = nullptr;
    Failure mFailure;
    std::unique_ptr<KRVUndoHistory> mUndoHistory;
    // The states last saved by save (the sequence), saveconfig (the
    // channel names) and either (the programs, which both write).
    KRVSequencerState mSavedSequence;
    KRVSequencerState mSavedConfig;
    KRVSequencerState mSavedPrograms;
    // How many scripts deep this shell reads: 0 at the console.
    int mScriptDepth = 0;
    // The shell at depth 0 counts the scripts read for its current command.
    KRVShell* mOutermostShell = this;
    int mScriptsRead = 0;
    // (number, line), at most kMaxHistory of them, the oldest at
    // mOldestEntry and the rest after it, wrapping round.
    std::vector<std::pair<int, std::string>> mHistory;
    int mOldestEntry = 0;
    // For a script checked by load, the command of each of its lines
    // (KRVScriptFile::TakeLineCommands), and the one of the line that
    // ExecuteLine is to run next, which it takes (null for any other line).
    std::vector<unsigned char> mLineCommands;
    const KRVCommand* mCheckedCommand = nullptr;
    // The words of the lines being run, by depth, and how many are.
    std::vector<std::unique_ptr<KRVLineWords>> mWordLists;
    std::size_t mLineDepth = 0;
};
