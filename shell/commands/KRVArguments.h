#pragma once

#include <string_view>

#include "commands/KRVCommandTable.h"
#include "commands/KRVWords.h"

class KRVSequencer;

// The words of one command line as its handler reads them, word 0 being the
// command, with the values the interpreter read from them as the command's
// row declares (Read), and the readings several handlers share, which say
// nothing: each command refuses in its own words.
class KRVArguments {
public:
    // Whether a track or step number may start with a sign, read as atoi
    // reads it ("+2" is 2), or must start with a digit. The commands have
    // always differed in this, and scripts rely on each.
    enum SignRule { kDigitFirst, kSignAllowed };

    explicit KRVArguments(const KRVLineWords& inWords) : mWords(inWords) {}

    // Reads every argument the row declares: null when all read, else the
    // refusal to say (the row's, for a missing or unreadable word).
    const char* Read(const KRVCommand& inCommand, const KRVSequencer& inSequencer);
    // The value Read took from word inIndex (1 = the first argument): a
    // track or step from 1, a note, a number.
    int GetValue(int inIndex) const { return mValues[inIndex]; }

    // How many words follow the command.
    int GetCount() const { return mWords.GetCount() - 1; }
    bool Has(int inCount) const { return GetCount() >= inCount; }
    // The empty word past the last.
    std::string_view Get(int inIndex) const { return mWords.Get(inIndex); }
    // The same, ended by a NUL, for the C library.
    const char* GetText(int inIndex) const { return mWords.GetText(inIndex); }
    // Word inIndex as a number (like atoi).
    int ReadInt(int inIndex) const;
    // The same, true when it lies in inLowest to inHighest.
    bool ReadInRange(int inIndex, int inLowest, int inHighest, int* outValue) const;
    // A track or step number under inRule, without a range check.
    bool ReadNumber(int inIndex, SignRule inRule, int* outNumber) const;
    // A track or step from 1 to inLast. With inZeroBased (old scripts) the
    // word counts from 0. outNumber is the number as understood, also when
    // it is refused.
    bool ReadPosition(int inIndex, int inLast, SignRule inRule, int* outNumber,
                      bool inZeroBased = false) const;

private:
    const char* ReadArgument(int inIndex, const KRVCommand& inCommand,
                             const KRVSequencer& inSequencer);

    const KRVLineWords& mWords;
    // By word: [0] is the command's.
    int mValues[KRVCommand::kMaxArguments + 1] = {};
};
