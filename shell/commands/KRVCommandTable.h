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

// One row of the command table: the command word, its short form ("" where
// there is none), the help text as `help` shows it, its arguments in order
// (kNone after the last) and its handler.
struct KRVCommand {
    static constexpr int kMaxArguments = 3;
    using Handler = KRVCommandResult (*)(KRVCommandContext& ioContext,
                                         const KRVArguments& inArguments);

    const char* mName;
    const char* mAlias;
    const char* mHelp;
    KRVArgumentKind mArguments[kMaxArguments];
    Handler mHandler;

    bool HasAlias() const { return mAlias[0] != '\0'; }
    // The kind of argument inWord1 (1 = the first argument); kNone past the
    // last, unless the last takes the rest of the line.
    KRVArgumentKind GetArgumentKind(int inWord1) const;
};

// Every command of the shell, in the order of lookup and of `help`. Adding a
// command is a row here and a handler in KRVCommands.
class KRVCommandTable {
public:
    static int GetCount();
    // inRow from 0 to GetCount() - 1.
    static const KRVCommand& Get(int inRow);
    // The command whose word or short form is inWord exactly; null for none.
    static const KRVCommand* Find(const std::string& inWord);
};
