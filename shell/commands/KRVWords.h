#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The words of a command line, as every command and the completion at the
// terminal see them. Only the blank separates words. A backslash takes the
// next character as it is; quotes (single or double) group characters up to
// the matching quote; both work inside a word ('ab"c d"e' is one word). A
// word that ends up empty (a lone "") is dropped. outLastWordStart, when
// given, is where the last word starts in the line: just after the last
// blank that separates words, so the line's length when it ends in one.
//
// The words are held in one buffer of their own, unquoted, each ended by a
// NUL, so that they outlive the line and each reads as a C string too. A
// list split again uses its room again: the lines of a script are split
// with no allocation once it has held the longest.
class KRVLineWords {
public:
    void Split(std::string_view inLine, std::size_t* outLastWordStart = nullptr);

    int GetCount() const { return static_cast<int>(mWords.size()); }
    bool IsEmpty() const { return mWords.empty(); }
    // The empty word past the last.
    std::string_view Get(int inIndex) const {
        return IsIndex(inIndex)
                   ? std::string_view(mText.data() + At(inIndex).mStart, At(inIndex).mSize)
                   : std::string_view();
    }
    // The same, ended by a NUL.
    const char* GetText(int inIndex) const {
        return IsIndex(inIndex) ? mText.data() + At(inIndex).mStart : "";
    }
    std::vector<std::string> ToStrings() const;

private:
    void SplitQuoted(std::string_view inLine, std::size_t* outLastWordStart);
    bool IsIndex(int inIndex) const { return inIndex >= 0 && inIndex < GetCount(); }

    struct Word {
        std::size_t mStart;
        std::size_t mSize;
    };
    const Word& At(int inIndex) const { return mWords[static_cast<std::size_t>(inIndex)]; }

    std::string mText;
    std::vector<Word> mWords;
};
std::vector<std::string> KRVSplitWords(std::string_view inLine,
                                       std::size_t* outLastWordStart = nullptr);
// Number readings of typed words, as the C library's atoi/atof read them:
// leading blanks and a sign, then digits; a word that is no number reads as
// 0. Out-of-range values saturate instead of being undefined.
int KRVReadInt(std::string_view inWord);
double KRVReadDouble(std::string_view inWord);
// True when the word's first character is a decimal digit (so no sign).
bool KRVStartsWithDigit(std::string_view inWord);
// The word with blanks, quotes and backslashes escaped by a backslash, so
// that a split reads it back as one word, unchanged. A carriage return
// goes in double quotes, since one at the end of a line would be taken for
// part of a DOS line end. Words without any of these stay as they are.
std::string KRVEscapeWord(const std::string& inWord);
// Whether a character stands for itself outside quotes: all but the blank,
// the quotes and the backslash. A table, since every character of every
// line is looked up (0.7 % of the instructions of a load of 1,024 tracks of
// 64 steps, against four comparisons).
inline constexpr std::array<bool, 256> kPlainCharacters = [] {
    std::array<bool, 256> plain{};
    plain.fill(true);
    for (unsigned char special : {' ', '\\', '\'', '"'}) {
        plain[special] = false;
    }
    return plain;
}();
inline bool KRVIsPlainCharacter(char inCharacter) {
    return kPlainCharacters[static_cast<unsigned char>(inCharacter)];
}
// A UTF-8 byte-order mark.
inline constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";
// Takes a UTF-8 byte-order mark off the start of the line, as some editors
// put one at the start of a file; false when there was none.
bool KRVDropByteOrderMark(std::string* ioLine);
// Old scripts number tracks and steps from 0. Saturates rather than
// overflowing, so a huge number stays out of range.
int KRVBumpForMigration(int inNumber);
// A note: a word starting with a digit is a note number (read as above, so
// "60abc" is 60); any other word must start with a note name ("Db3"). False
// when the word is neither. No range check.
bool KRVReadNote(std::string_view inWord, int* outNote);
