#include "commands/KRVWords.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "model/KRVEvent.h"

// Every line of a script passes here, so plain runs of characters, and what
// stands between quotes, go into the word in one piece.
std::vector<std::string> KRVSplitWords(std::string_view inLine, std::size_t* outLastWordStart) {
    std::vector<std::string> words;
    KRVSplitWords(inLine, &words, outLastWordStart);
    return words;
}

void KRVSplitWords(std::string_view inLine, std::vector<std::string>* outWords,
                   std::size_t* outLastWordStart) {
    std::vector<std::string>& words = *outWords;
    words.clear();
    std::string word;
    bool escaped = false;
    char quote = '\0';
    std::size_t lastWordStart = 0;
    for (std::size_t i = 0; i < inLine.size();) {
        char ch = inLine[i];
        if (escaped) {
            word += ch;
            escaped = false;
            i++;
        } else if (quote != '\0') {
            std::size_t end = std::min(inLine.find(quote, i), inLine.size());
            word.append(inLine.substr(i, end - i));
            if (end < inLine.size()) {
                quote = '\0';
            }
            i = end + 1;
        } else if (ch == ' ') {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
            i++;
            lastWordStart = i;
        } else if (ch == '\\') {
            escaped = true;
            i++;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
            i++;
        } else {
            std::size_t start = i;
            while (i < inLine.size() && KRVIsPlainCharacter(inLine[i])) {
                i++;
            }
            if (word.empty() && (i == inLine.size() || inLine[i] == ' ')) {
                // A whole word of plain characters, most words of most lines.
                words.emplace_back(inLine.substr(start, i - start));
            } else {
                word.append(inLine.substr(start, i - start));
            }
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    if (outLastWordStart != nullptr) {
        *outLastWordStart = lastWordStart;
    }
}

// Read by hand as strtol reads base 10 (blanks as isspace has them, a sign,
// digits), saturating: every number of every script line passes here.
int KRVReadInt(const std::string& inWord) {
    const char* at = inWord.c_str();
    while (std::isspace(static_cast<unsigned char>(*at))) {
        at++;
    }
    const bool negative = *at == '-';
    if (*at == '-' || *at == '+') {
        at++;
    }
    // Past this the value is out of an int's range whatever follows.
    constexpr long long kBeyond = static_cast<long long>(INT_MAX) + 2;
    long long magnitude = 0;
    for (; *at >= '0' && *at <= '9'; at++) {
        magnitude = std::min(magnitude * 10 + (*at - '0'), kBeyond);
    }
    const long long value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double KRVReadDouble(const std::string& inWord) {
    return std::strtod(inWord.c_str(), nullptr);
}

bool KRVDropByteOrderMark(std::string* ioLine) {
    if (!std::string_view(*ioLine).starts_with(kByteOrderMark)) {
        return false;
    }
    ioLine->erase(0, std::strlen(kByteOrderMark));
    return true;
}

bool KRVStartsWithDigit(const std::string& inWord) {
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

bool KRVReadNote(const std::string& inWord, int* outNote) {
    if (KRVStartsWithDigit(inWord)) {
        *outNote = KRVReadInt(inWord);
        return true;
    }
    if (!KRVEvent::IsNoteName(inWord)) {
        return false;
    }
    *outNote = KRVEvent::ParseNoteNumber(inWord);
    return true;
}
