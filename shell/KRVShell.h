#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KRVCommandTable.h"
#include "KRVLineLimit.h"

class KRVSequencer;
class KRVShellInterface;

// The command interpreter: reads lines through its interface, splits them
// into words, looks the first word up in the command table and runs that
// command's handler. It keeps a numbered history of the lines it ran and
// expands history references ("!!", "!12", "!-1", "!sel").
//
// A shell is tied to one input: the console, or one script being read. The
// handlers reach the sequence, the interface and the shell's settings
// through it.
class KRVShell {
public:
    static constexpr int kMaxHistory = 50;
    static constexpr int kLineBufferLength = KRVLineLimit::kBufferLength;
    // Scripts read scripts at most this deep, and at most this many in all
    // for one command of the console.
    static constexpr int kMaxScriptDepth = 16;
    static constexpr int kMaxScriptsRead = 100;

    KRVShell(KRVSequencer* inSequencer, KRVShellInterface* inInterface);

    // Runs the loop until quit or end of input; inPrompt shows "%d krv> ".
    void Shell(bool inPrompt);
    // Whether the loop ended for a signal (SIGINT ends a script's loop).
    bool WasStoppedBySignal() const { return mStoppedBySignal; }
    // Stops playback, if it runs, and says how many notes the MIDI output
    // could not carry.
    void StopPlayback();
    // Runs one line. An empty line succeeds; a word that is no command fails.
    // At the console (not in a script) what the line wrote is then flushed.
    KRVCommandResult Execute(std::string_view inLine);

    std::string GetHistoryEntryByNumber(int inIndex) const;
    std::string GetHistoryEntryBySubString(const char* inSubString) const;
    int GetHistoryCount() const { return static_cast<int>(mHistory.size()); }
    // Entry inIndex (0 = oldest held) as (number, line).
    std::pair<int, std::string> GetHistoryEntryByIndex(int inIndex) const;

    void SetConfirmSaves(bool inConfirm) { mConfirmSaves = inConfirm; }
    // With false, the shell command refuses to run anything, here and in
    // every script this shell reads (the fuzz target runs so).
    void SetShellCommandsAllowed(bool inAllowed) { mShellCommandsAllowed = inAllowed; }
    bool AreShellCommandsAllowed() const { return mShellCommandsAllowed; }
    // A script may hide a host command among the lines of a sequence, so
    // scripts read through this shell run none unless allowed here.
    void SetShellInScriptsAllowed(bool inAllowed) { mShellInScriptsAllowed = inAllowed; }
    bool AreShellCommandsInScriptsAllowed() const { return mShellInScriptsAllowed; }
    bool IsReadingScript() const { return mScriptDepth > 0; }
    // Track and step numbers in commands are read 0-based (old scripts).
    bool IsMigrationMode() const { return mMigrationMode; }
    void SetMigrationMode(bool inOn) { mMigrationMode = inOn; }

    // For the handlers.
    KRVSequencer& GetSequencer() const { return *mSequencer; }
    KRVShellInterface& GetInterface() const { return *mInterface; }
    // Says inMessage and fails: the end of every refusal.
    KRVCommandResult Refuse(const char* inMessage) const;
    // Asks before an existing file is replaced (when saves are confirmed).
    bool MayOverwrite(const char* inPath);
    // Runs the script at inPath through a shell of its own; with
    // inClearFirst (load) the sequence goes once the file has opened. Fails
    // when the script could not be read at all.
    KRVCommandResult RunScript(const std::string& inPath, bool inClearFirst);
    // Says that the MIDI server has gone, once at the prompt, and again
    // whenever inAgain asks.
    void TellOutputGone(bool inAgain);

private:
    // Execute without the flush at the end.
    KRVCommandResult ExecuteLine(std::string_view inLine);
    void SaveToHistory(std::string_view inCommand);
    // Entry inIndex, 0 for the oldest held; inIndex below the count.
    const std::pair<int, std::string>& GetEntry(int inIndex) const;
    KRVCommandResult ExpandHistory(const std::string& inWord);
    void RunLoop(bool inPrompt);
    // Whether the loop ends for a signal; acts on SIGINT at the prompt.
    bool StopsForSignal(bool inPrompt);
    static void StopPlaybackFor(void* inShell);
    bool MayReadAnotherScript(const std::string& inPath);
    // Runs a script's text through a shell of its own; false when a signal
    // stopped it, with outLine the line it stopped at.
    bool RunScriptText(std::string inText, int* outLine);

    KRVSequencer* mSequencer;
    KRVShellInterface* mInterface;
    bool mConfirmSaves = true;
    bool mShellCommandsAllowed = true;
    bool mShellInScriptsAllowed = false;
    bool mMigrationMode = false;
    int mHistoryNumber = 1;
    // Whether the console was told that the MIDI server has gone.
    bool mToldOutputGone = false;
    bool mStoppedBySignal = false;
    // How many scripts deep this shell reads: 0 at the console.
    int mScriptDepth = 0;
    // The shell at depth 0 counts the scripts read for its current command.
    KRVShell* mOutermostShell = this;
    int mScriptsRead = 0;
    // (number, line), at most kMaxHistory of them, the oldest at
    // mOldestEntry and the rest after it, wrapping round.
    std::vector<std::pair<int, std::string>> mHistory;
    int mOldestEntry = 0;
    // The last line's words, for the room of the next line's.
    std::vector<std::string> mSpareWords;
};
