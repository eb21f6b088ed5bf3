#include "KRVWords.h"

#include <cctype>
#include <climits>
#include <cstdlib>

#include "KRVEvent.h"

std::vector<std::string> KRVSplitWords(const std::string& inLine, std::size_t* outLastWordStart) {
    std::vector<std::string> words;
    std::string word;
    bool escaped = false;
    char quote = '\0';
    std::size_t lastWordStart = 0;
    for (std::size_t i = 0; i < inLine.size(); i++) {
        char ch = inLine[i];
        if (escaped) {
            word += ch;
            escaped = false;
        } else if (quote != '\0') {
            if (ch == quote) {
                quote = '\0';
            } else {
                word += ch;
            }
        } else if (ch == ' ') {
            if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
            lastWordStart = i + 1;
        } else if (ch == '\\') {
            escaped = true;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
        } else {
            word += ch;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    if (outLastWordStart != nullptr) {
        *outLastWordStart = lastWordStart;
    }
    return words;
}

int KRVReadInt(const std::string& inWord) {
    long value = std::strtol(inWord.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

double KRVReadDouble(const std::string& inWord) {
    return std::strtod(inWord.c_str(), nullptr);
}

bool KRVDropByteOrderMark(std::string* ioLine) {
    static const char kMark[] = "\xEF\xBB\xBF";
    if (ioLine->compare(0, sizeof kMark - 1, kMark) != 0) {
        return false;
    }
    ioLine->erase(0, sizeof kMark - 1);
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
