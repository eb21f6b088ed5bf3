#include "Harness.h"
#include "commands/KRVWords.h"
#include "console/KRVFormat.h"

namespace {

template <typename... Arguments>
std::string WithPrintf(const char* inFormat, Arguments... inArguments) {
    char text[512];
    int length = std::snprintf(text, sizeof text, inFormat, inArguments...);
    return std::string(text, static_cast<std::size_t>(length));
}

// The fast formatting gives what snprintf gives, byte for byte, whenever it
// takes a format on.
template <typename... Arguments>
void ExpectSameAsPrintf(const char* inFormat, Arguments... inArguments) {
    const KRVFormatArgument arguments[] = {KRVFormatArgument(inArguments)...};
    std::string text = "before|";
    ASSERT_TRUE(KRVAppendFormat(&text, inFormat, arguments, sizeof...(Arguments))) << inFormat;
    EXPECT_EQ(text, "before|" + WithPrintf(inFormat, inArguments...)) << inFormat;
}

template <typename... Arguments>
void ExpectLeftToPrintf(const char* inFormat, Arguments... inArguments) {
    const KRVFormatArgument arguments[] = {KRVFormatArgument(inArguments)...};
    std::string text = "before|";
    EXPECT_FALSE(KRVAppendFormat(&text, inFormat, arguments, sizeof...(Arguments))) << inFormat;
    EXPECT_EQ(text, "before|") << inFormat;
}

TEST(KRVFormat, NumbersAndWordsAsPrintfHasThem) {
    std::vector<int> values = {0,  1,   -1,  7,   9,    10,    42,      -42,
                               99, 100, 127, 255, 1000, -1000, INT_MAX, INT_MIN};
    std::mt19937 random(22);
    for (int i = 0; i < 200; i++) {
        values.push_back(static_cast<int>(random()));
    }
    for (int value : values) {
        ExpectSameAsPrintf("%d", value);
        ExpectSameAsPrintf("selected track %d step %d\n", value, value / -3);
        ExpectSameAsPrintf("|%02d|N:|", value);
        ExpectSameAsPrintf("%03d|", value);
        ExpectSameAsPrintf("%3d|", value);
        ExpectSameAsPrintf("%x%2d|", value, value % 17);
        ExpectSameAsPrintf("%012x", value);
        ExpectSameAsPrintf("%ld", static_cast<long>(value) * 65537);
        ExpectSameAsPrintf("%lu notes", static_cast<unsigned long>(value) * 65537);
    }
    ExpectSameAsPrintf("%ld %ld", LONG_MAX, LONG_MIN);
    ExpectSameAsPrintf("%lu", ULONG_MAX);
    ExpectSameAsPrintf("100%% of %d", 3);
    ExpectSameAsPrintf("no conversion at all\n");
    ExpectSameAsPrintf("");
    ExpectSameAsPrintf("%s", "");
    ExpectSameAsPrintf("set note %s on %d selections\n", "C#4", 12);
    ExpectSameAsPrintf("[%5s][%1s][%s]", "ab", "abc", "\xc3\xa9t\xc3\xa9");
}

// Whatever it does not know goes to snprintf, untouched.
TEST(KRVFormat, LeavesEveryOtherFormToPrintf) {
    for (const char* format :
         {"%-3d", "%+d", "% d", "%.2d", "%u", "%ld", "%s", "%d %d", "trailing %", "%999d"}) {
        ExpectLeftToPrintf(format, 5);
    }
    ExpectLeftToPrintf("%lf bpm", 120.5);
    ExpectLeftToPrintf("%05s", "a");
    ExpectLeftToPrintf("%s", static_cast<const char*>(nullptr));
    ExpectLeftToPrintf("%d", 5L);
    ExpectLeftToPrintf("%d", 5, 6);
    ExpectLeftToPrintf("%s and more", std::string(300, 'x').c_str());
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

// A list used again for the next line holds that line's words only.
TEST(KRVWords, SplitIntoAUsedListGivesTheSameWords) {
    std::vector<std::string> words;
    for (const char* line : {"selectevent 1 2", "  a\\ b 'c d' e\"f\" ", "", "one", "x 'y"}) {
        KRVSplitWords(line, &words);
        EXPECT_EQ(words, KRVSplitWords(line)) << line;
    }
    EXPECT_EQ(KRVSplitWords("  a\\ b 'c d' e\"f\" "),
              (std::vector<std::string>{"a b", "c d", "ef"}));
}

}  // namespace
