#pragma once

#include <string>
#include <utility>
#include <vector>

// The words of one command line as its handler reads them, word 0 being the
// command, with the readings several commands share. Readers say nothing:
// each command refuses in its own words.
class KRVArguments {
public:
    // Whether a track or step number may start with a sign, read as atoi
    // reads it ("+2" is 2), or must start with a digit. The commands have
    // always differed in this, and scripts rely on each.
    enum SignRule { kDigitFirst, kSignAllowed };

    explicit KRVArguments(std::vector<std::string> inWords) : mWords(std::move(inWords)) {}
    // The words, handed back once the handler is done with them.
    std::vector<std::string> TakeWords() { return std::move(mWords); }

    // How many words follow the command.
    int GetCount() const { return static_cast<int>(mWords.size()) - 1; }
    bool Has(int inCount) const { return GetCount() >= inCount; }
    // The empty word past the last.
    const std::string& Get(int inIndex) const;
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
    std::vector<std::string> mWords;
};
