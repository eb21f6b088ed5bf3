#include <random>

#include "Harness.h"
#include "commands/KRVWords.h"
#include "console/KRVAnswer.h"

namespace {

template <typename... Arguments>
std::string WithPrintf(const char* inFormat, Arguments... inArguments) {
    std::string text(1024, '\0');
    text.resize(static_cast<std::size_t>(
        std::snprintf(text.data(), text.size(), inFormat, inArguments...)));
    return text;
}

// An answer put together from its format gives what snprintf gives, byte for
// byte, also past the room it keeps in place.
#define EXPECT_AS_PRINTF(kFormat, ...) \
    EXPECT_EQ(KRVAnswer<kFormat>(__VA_ARGS__).c_str(), WithPrintf(kFormat, __VA_ARGS__))

TEST(KRVAnswer, GivesWhatPrintfGives) {
    std::vector<int> values = {0, 1, -1, 9, 10, 99, 100, -1000, INT_MAX, INT_MIN};
    std::mt19937 random(22);
    for (int i = 0; i < 200; i++) {
        values.push_back(static_cast<int>(random()));
    }
    for (int value : values) {
        EXPECT_AS_PRINTF("selected track %d step %d\n", value, value / -3);
        EXPECT_AS_PRINTF("%d%%|%lu%%%%", value, static_cast<unsigned long>(value) * 65537);
    }
    const std::string longWord(300, 'x');
    EXPECT_AS_PRINTF("set note %s on %d selections\n", "C#4", 12);
    EXPECT_AS_PRINTF("%s and %s", longWord.c_str(), longWord.c_str());
    EXPECT_EQ(KRVAnswer<"100%% sure\n">().c_str(), std::string("100% sure\n"));
}

// Numbers are read by hand, as strtol reads them, saturated to an int.
TEST(KRVWords, ReadIntReadsAsStrtolDoes) {
    // The edge cases, split at '|', then random words of digits, signs and
    // blanks.
    std::vector<std::string> words;
    std::istringstream edges(
        "|0|7|-7|+7|007| 12|\t-3x|\n+|-|+|+-5|- 5|5 6|12abc|abc|0x1f|2147483647|2147483648|"
        "-2147483648|-2147483649|99999999999999999999999|-99999999999999999999999|\v\f\r 42");
    for (std::string word; std::getline(edges, word, '|');) {
        words.push_back(word);
    }
    std::mt19937 random(5);
    const std::string alphabet = "0123456789+- x\t";
    for (int i = 0; i < 2000; i++) {
        std::string word;
        for (int length = static_cast<int>(random() % 14); length > 0; length--) {
            word += alphabet[random() % alphabet.size()];
        }
        words.push_back(word);
    }
    for (const std::string& word : words) {
        const long value = std::strtol(word.c_str(), nullptr, 10);
        const int expected = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : int(value);
        EXPECT_EQ(KRVReadInt(word), expected) << "'" << word << "'";
    }
}

// A list used again, after longer and shorter lines, holds that line's
// words only, each also readable as a C string of the same text.
TEST(KRVWords, SplitIntoAUsedListGivesTheSameWords) {
    const std::vector<std::pair<const char*, std::vector<std::string>>> kCases = {
        {"selectevent 1 2", {"selectevent", "1", "2"}},
        {"  a\\ b 'c d' e\"f\" ", {"a b", "c d", "ef"}},
        {"", {}},
        {"one", {"one"}},
        {"x 'y", {"x", "y"}},
        {"'' \"\" \\", {}},
        {"a''b \\'\\ c", {"ab", "' c"}},
    };
    KRVLineWords used;
    for (int round = 0; round < 2; round++) {
        for (const auto& [line, expected] : kCases) {
            used.Split(line);
            EXPECT_EQ(used.ToStrings(), expected) << line;
            EXPECT_EQ(KRVSplitWords(line), expected) << line;
            for (int index = 0; index <= used.GetCount(); index++) {
                EXPECT_EQ(std::string_view(used.GetText(index)), used.Get(index)) << line;
            }
        }
    }
}

// Any words, each escaped and set apart by blanks, split back into
// themselves, whether a line needs the unquoting or none.
TEST(KRVWords, EscapedWordsSplitBackIntoThemselves) {
    std::mt19937 random(7);
    const std::string kAlphabet = "ab1 '\"\\\r\xC3\xA9";
    KRVLineWords split;
    for (int round = 0; round < 2000; round++) {
        std::vector<std::string> words(random() % 5);
        std::string line(random() % 2, ' ');
        for (std::string& word : words) {
            for (std::size_t length = 1 + random() % 6; word.size() < length;) {
                word += kAlphabet[random() % kAlphabet.size()];
            }
            line += KRVEscapeWord(word) + std::string(1 + random() % 2, ' ');
        }
        split.Split(line);
        EXPECT_EQ(split.ToStrings(), words) << line;
    }
}

}  // namespace
