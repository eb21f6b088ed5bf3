#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands/KRVCommandTable.h"

class KRVDestinations;
class KRVPlayIn;
class KRVSequencer;
class KRVShellInterface;
class KRVUndoHistory;

// What a command may touch, and all it may: the sequence, the output
// interface, the destinations, the settings that change how commands read
// their words and what they may run, and the few services of the shell that
// reads the line (its questions, scripts, undo steps and history list). The
// prompt loop, history expansion, batch bookkeeping and the terminal stay
// out of a handler's reach.
class KRVCommandContext {
public:
    enum SavedPart { kSavedSequence, kSavedConfig };

    // What only the shell that reads the line can do for its commands.
    class Shell {
    public:
        // Asks before an existing file is replaced (when saves are
        // confirmed); inWhat, when given, says what the file is ("is not a
        // Standard MIDI File") before the question.
        virtual bool MayOverwrite(const char* inPath, const char* inWhat) = 0;
        // Whether the sequence may be thrown away: true unless asked at a
        // terminal with unsaved changes ("unsaved changes - inVerb anyway")
        // and answered no.
        virtual bool MayDiscardChanges(const char* inVerb) = 0;
        // Runs the script at inPath through a shell of its own; with
        // inClearFirst (load) the sequence goes once the file has opened.
        virtual KRVCommandResult RunScript(const std::string& inPath, bool inClearFirst) = 0;
        // Runs one more line as if it had been typed (`default`).
        virtual KRVCommandResult Execute(std::string_view inLine) = 0;
        // Runs lines as the prompt runs a typed one, each kept in the
        // history, all of them one undo step named after line inNamed: the
        // live view's keys. The first failure is the result.
        virtual KRVCommandResult RunAsTyped(const std::vector<std::string>& inLines,
                                            std::size_t inNamed) = 0;
        virtual bool IsReadingScript() const = 0;
        // Null before tracking starts, and in the shells of scripts.
        virtual KRVUndoHistory* GetUndoHistory() const = 0;
        // After a save, saveconfig or load: that part now counts as saved.
        virtual void NoteSaved(SavedPart inPart) = 0;
        virtual bool HasUnsavedChanges() const = 0;
        virtual int GetHistoryCount() const = 0;
        // Entry inIndex (0 = oldest held) as (number, line).
        virtual std::pair<int, std::string> GetHistoryEntryByIndex(int inIndex) const = 0;

    protected:
        ~Shell() = default;
    };

    // inShell may be null where no command runs (a stop at the end).
    KRVCommandContext(KRVSequencer* inSequencer, KRVShellInterface* inInterface, Shell* inShell)
        : mSequencer(inSequencer), mInterface(inInterface), mShell(inShell) {}

    KRVSequencer& GetSequencer() const { return *mSequencer; }
    KRVShellInterface& GetInterface() const { return *mInterface; }
    Shell& GetShell() const { return *mShell; }
    // Says inMessage and fails: the end of every refusal.
    KRVCommandResult Refuse(const char* inMessage) const;

    // Stops playback, if it runs, and says how many notes the MIDI output
    // could not carry.
    void StopPlayback() const;
    // Says that the MIDI server has gone, once at the prompt, and again
    // whenever inAgain asks.
    void TellOutputGone(bool inAgain);
    // The destinations to follow at the prompt, `play` and `ports`; none
    // where the shell plays to ports made for it (tests).
    void SetDestinations(KRVDestinations* inDestinations) { mDestinations = inDestinations; }
    KRVDestinations* GetDestinations() const { return mDestinations; }
    // At the prompt: takes what the keyboard played since, and says how
    // much of it came faster than it could be taken.
    void TakeInput();
    // Looks at destinations that came, went or came back, and says so; with
    // inLookAnyway (`ports`), also where no change has been announced yet.
    void FollowDestinations(bool inLookAnyway = false) const;
    // The MIDI system in use, in a user's words; empty where no destinations
    // are followed (tests).
    std::string GetMIDISystemName() const;
    // Says, once, when playing would be heard nowhere.
    void ExplainSilence() const;
    // Step entry and recording from the keyboard; none where the shell has
    // no console (tests, batch runs).
    void SetPlayIn(KRVPlayIn* inPlayIn) { mPlayIn = inPlayIn; }
    KRVPlayIn* GetPlayIn() const { return mPlayIn; }
    // At the prompt: what was played while a command ran is taken.
    void FollowPlayIn() const;

    // Track and step numbers in commands are read 0-based (old scripts).
    bool IsMigrationMode() const { return mMigrationMode; }
    void SetMigrationMode(bool inOn) { mMigrationMode = inOn; }
    // With false, the shell command refuses to run anything, here and in
    // every script read from here (the fuzz target runs so).
    void SetShellCommandsAllowed(bool inAllowed) { mShellCommandsAllowed = inAllowed; }
    bool AreShellCommandsAllowed() const { return mShellCommandsAllowed; }
    // A script may hide a host command among the lines of a sequence, so
    // scripts run none unless allowed here.
    void SetShellInScriptsAllowed(bool inAllowed) { mShellInScriptsAllowed = inAllowed; }
    bool AreShellCommandsInScriptsAllowed() const { return mShellInScriptsAllowed; }
    // A script's shell reads its lines as the shell that read the script
    // does: the settings above pass on.
    void TakeSettingsOf(const KRVCommandContext& inOther);

private:
    KRVSequencer* mSequencer;
    KRVShellInterface* mInterface;
    Shell* mShell;
    KRVDestinations* mDestinations = nullptr;
    KRVPlayIn* mPlayIn = nullptr;
    bool mMigrationMode = false;
    bool mShellCommandsAllowed = true;
    bool mShellInScriptsAllowed = false;
    // Whether the console was told that the MIDI server has gone.
    bool mToldOutputGone = false;
};
