#pragma once

#include <string>

class KRVArguments;
class KRVCommandContext;

// What a handler tells the shell: whether the command did what it was asked
// (every refusal is a failure, and has been said), or that the shell's loop
// should end.
enum class KRVCommandResult { kSucceeded, kFailed, kQuit };

// What an argument of a command is. Completion at the terminal offers what
// fits a kind; the rest are typed.
enum class KRVArgumentKind {
    kNone,
    kNumber,
    kTrack,
    kStep,
    kNote,
    kChannel,
    kPort,
    kKey,
    // A scale's name after a key (fitkey); it may take two words.
    kScale,
    kFile,
    // Free text: a channel's name, "on" or "off".
    kText,
    // A line for the host's shell; it runs to the end, and any of its words
    // may be a file.
    kHostCommand,
    // One word that asks for another form of the command (KRVArgumentWord).
    kHeard,
    kTimed,
};

// The word of a kind that is one fixed word ("heard", "timed"); null for
// the other kinds.
const char* KRVArgumentWord(KRVArgumentKind inKind);

// How the interpreter reads one argument before the handler runs. An
// argument with mBad is read as its kind says (a track or step within the
// sequence, a note 0-127, a number within mLowest to mHighest), and a word
// that does not read is refused with mBad; one without mBad is left to the
// handler, which reads it in its own words.
struct KRVArgument {
    // The highest track or step: the sequence's, or one past the steps that
    // play (setloop).
    enum Bound { kSequence, kPastPlayed };

    KRVArgumentKind mKind = KRVArgumentKind::kNone;
    const char* mBad = nullptr;
    bool mOptional = false;
    // Whether a track or step number may start with a sign ("+2" is 2) or
    // must start with a digit. The commands have always differed in this,
    // and scripts rely on each.
    bool mSignAllowed = true;
    int mLowest = 0;
    int mHighest = 0;
    Bound mBound = kSequence;
};

// What a command changes that the user can lose: what save writes (the
// sequence, its selection, tempo and programs), what saveconfig writes (the
// channel names), or the sequence as a file holds it (load). Undo restores
// each.
enum class KRVChanges { kNothing, kSequence, kConfig, kFromFile };

// One row of the command table: the command word, its short form ("" where
// there is none), the help text as `help` shows it, its arguments in order
// (kNone after the last), what it says when a required one is missing, what
// it changes, and its handler.
struct KRVCommand {
    static constexpr int kMaxArguments = 3;
    using Handler = KRVCommandResult (*)(KRVCommandContext& ioContext,
                                         const KRVArguments& inArguments);

    const char* mName;
    const char* mAlias;
    const char* mHelp;
    KRVArgument mArguments[kMaxArguments];
    const char* mMissing;
    KRVChanges mChanges;
    Handler mHandler;

    bool HasAlias() const { return mAlias[0] != '\0'; }
    // The kind of argument inWord1 (1 = the first argument); kNone past the
    // last, unless the last takes the rest of the line.
    KRVArgumentKind GetArgumentKind(int inWord1) const;
    // How many words must follow the command (asked for every line run).
    int GetRequiredCount() const {
        int count = 0;
        for (const KRVArgument& argument : mArguments) {
            count += argument.mKind != KRVArgumentKind::kNone && !argument.mOptional ? 1 : 0;
        }
        return count;
    }
};

// Every command of the shell, in the order of lookup and of `help`. Adding a
// command is a row here, a handler in KRVCommands and its documentation.
class KRVCommandTable {
public:
    static int GetCount();
    // inRow from 0 to GetCount() - 1.
    static const KRVCommand& Get(int inRow);
    // The command whose word or short form is inWord exactly; null for none.
    static const KRVCommand* Find(std::string_view inWord);
};
