#include "Harness.h"
#include "KRVCommandLine.h"
#include "console/KRVCompleter.h"

namespace {

using Words = std::vector<std::string>;

// Beyond what the console's editing case types (a listing, key names in any
// case, no note names): a line's blanks, a scale after the key, a name of two
// words as one, nothing after an unknown command; the MIDI file commands
// offer the one word of their other form.
TEST(KRVCompleter, CommandsAndArgumentsByCommand) {
    const std::pair<const char*, Words> kLines[] = {
        {"  vers", {"version"}},
        {"PLAY", {}},
        {"fitkey C", {"C", "C#", "Cb"}},
        {"fitkey C MI", {"minor", "minor\\ pentatonic", "mixolydian"}},
        {"fitkey C blues ", {}},
        {"bogus x", {}},
        {"exportsmf beat.mid ", {"heard"}},
        {"importsmf song.mid ti", {"timed"}},
        {"importsmf song.mid h", {}},
        {"save beat.krv ", {}},
    };
    for (const auto& [typed, words] : kLines) {
        EXPECT_EQ(KRVCompleter::Complete(typed), words) << typed;
    }
}

TEST(KRVCompleter, FileNamesEscapedAsTheTokeniserReadsThem) {
    Scratch folder;
    folder.Write("my beat.krv", "");
    folder.Write("mine's.krv", "");
    folder.Write(".hidden", "");
    mkdir((folder.mFolder + "/mixes").c_str(), 0700);
    std::string at = folder.mFolder + "/";
    EXPECT_EQ(KRVCompleter::Complete("read " + at + "m"),
              (Words{at + "mine\\'s.krv", at + "mixes/", at + "my\\ beat.krv"}));
    // What was typed may itself be escaped or quoted; GetTypedWord is what
    // the completion replaces.
    EXPECT_EQ(KRVCompleter::Complete("save " + at + "my\\ "), Words{at + "my\\ beat.krv"});
    EXPECT_EQ(KRVCompleter::Complete("load \"" + at + "my b"), Words{at + "my\\ beat.krv"});
    EXPECT_EQ(KRVCompleter::GetTypedWord("load \"" + at + "my b"), "\"" + at + "my b");
    // Hidden files only when asked for; a missing folder gives nothing.
    EXPECT_EQ(KRVCompleter::Complete("read " + at).size(), 3u);
    EXPECT_EQ(KRVCompleter::Complete("read " + at + "."), Words{at + ".hidden"});
    EXPECT_EQ(KRVCompleter::Complete("read /no/such/folder/x"), Words{});
}

KRVCommandLine Parse(std::vector<const char*> inArguments) {
    inArguments.insert(inArguments.begin(), "krv");
    return KRVCommandLine(static_cast<int>(inArguments.size()),
                          const_cast<char**>(inArguments.data()));
}

// The options script covers --help, --version, unknown options and "--" at
// the real program; these are the tempo readings around them.
TEST(KRVCommandLine, TempoAndOptions) {
    const std::pair<const char*, double> kTempos[] = {
        {"140.5", 140.5}, {"abc", 120.0}, {"25000", 25000.0}, {"25000.01", 120.0}, {"25100", 120.0},
    };
    for (const auto& [word, tempo] : kTempos) {
        EXPECT_EQ(Parse({word}).GetStartingTempo(), tempo) << word;
    }
    EXPECT_EQ(Parse({}).GetStartingTempo(), 120.0);
}

}  // namespace
