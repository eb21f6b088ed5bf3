#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands/KRVWords.h"

// The text of a script, read whole before any of its lines runs, so that a
// script that cannot be read is found out before `load` deletes anything,
// and a read error is never taken for the end of the file.
//
// Only regular files are read: a FIFO or a device is refused without being
// opened, since it could block for ever or change as it is read. A
// byte-order mark at the start (editors on other systems write one) is left
// out of the text.
class KRVScriptFile {
public:
    // Far beyond the largest sequence script (1,024 tracks of 64 steps with
    // every mark set come to about 8 MiB); bounds what a mistyped name such
    // as a disk image costs.
    static constexpr std::size_t kMaxSize = 32 * 1024 * 1024;

    enum Status {
        kRead,
        // Missing, unreadable, or not a regular file.
        kCannotOpen,
        // A NUL byte early on: a binary file, not a script.
        kNotText,
        kTooLarge,
        kReadFailed,
        // A signal came while the file was read.
        kInterrupted,
        // A line that starts with a word that is no command.
        kForeignLine,
        // A line that holds a NUL byte, past what Read looks at.
        kNulLine,
    };

    Status Read(const std::string& inPath);
    const std::string& GetText() const { return mText; }
    // The text, handed over: nothing is left here.
    std::string TakeText() { return std::move(mText); }
    // The errno behind kCannotOpen and kReadFailed.
    int GetError() const { return mError; }
    // The line at which reading stopped: the one it was in when it failed.
    int GetFailedLine() const;
    // What load asks of a script: that every line that is not blank starts
    // with a command (as every script krv writes does), and that there is
    // one. Otherwise the status says it is no script: kNotText for a file
    // without commands, kForeignLine naming the first line that is not one,
    // kNulLine the first that holds a NUL byte.
    Status CheckCommands();
    // What CheckCommands found, for the shell that runs the lines, so that
    // it need not look each line's word up again (1.5 % of the instructions
    // of a load of 1,024 tracks of 64 steps): for each line, the row in
    // KRVCommandTable of the command it starts with, plus 1. 0 where there
    // is none (a blank line, a history reference) and where the shell may
    // read the line otherwise (a carriage return taken off here). Handed
    // over: nothing is left here.
    std::vector<unsigned char> TakeLineCommands() { return std::move(mLineCommands); }
    // Why a script was not run (any status but kRead), as a line that says
    // nothing of it ran and nothing was deleted; inVerb is "read" or "load".
    std::string Describe(Status inStatus, const char* inVerb, const std::string& inPath) const;

private:
    static std::string_view FirstWord(std::string_view inLine, KRVLineWords* ioWords);
    static bool StartsWithWord(std::string_view inLine, std::string_view inWord);
    Status ReadDescriptor(int inDescriptor);
    void DropByteOrderMark();

    std::string mText;
    int mError = 0;
    int mForeignLine = 0;
    std::string mForeignWord;
    std::vector<unsigned char> mLineCommands;
};
