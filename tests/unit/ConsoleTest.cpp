#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Harness.h"
#include "KRVCommandLine.h"
#include "commands/KRVCommandTable.h"
#include "console/KRVCompleter.h"
#include "console/KRVHistoryFile.h"

namespace {

using Words = std::vector<std::string>;

TEST(KRVCompleter, CommandsAndShortFormsComeFromTheTable) {
    EXPECT_EQ(KRVCompleter::Complete("unsel"), (Words{"unsele", "unselectevent", "unselectstep",
                                                      "unselecttrack", "unsels", "unselt"}));
    EXPECT_EQ(KRVCompleter::Complete("  vers"), Words{"version"});
    EXPECT_EQ(KRVCompleter::Complete("PLAY"), Words{});
    int words = 0;
    for (int row = 0; row < KRVCommandTable::GetCount(); row++) {
        words += KRVCommandTable::Get(row).HasAlias() ? 2 : 1;
    }
    EXPECT_EQ(KRVCompleter::Complete("").size(), static_cast<size_t>(words));
}

TEST(KRVCompleter, ArgumentsByCommand) {
    // Key names in any case; the common start may differ in case from what
    // was typed.
    EXPECT_EQ(KRVCompleter::Complete("fitkey d"), (Words{"D", "D#", "Db"}));
    EXPECT_EQ(KRVCompleter::Complete("fitkey C"), (Words{"C", "C#", "Cb"}));
    // Only the first argument of fitkey, no note names, nothing after an
    // unknown command.
    EXPECT_EQ(KRVCompleter::Complete("fitkey C "), Words{});
    EXPECT_EQ(KRVCompleter::Complete("setnote C"), Words{});
    EXPECT_EQ(KRVCompleter::Complete("bogus x"), Words{});

    // Every command that takes a file, by name or short form, and the host
    // command's words.
    for (const char* command : {"read", "load", "save", "saveconfig", "saveselection", "savesel",
                                "exportsmf", "importsmf"}) {
        const KRVCommand* row = KRVCommandTable::Find(command);
        ASSERT_NE(row, nullptr) << command;
        EXPECT_EQ(row->GetArgumentKind(1), KRVArgumentKind::kFile) << command;
        EXPECT_EQ(row->GetArgumentKind(3), KRVArgumentKind::kNone) << command;
    }
    // The MIDI file commands offer the one word of their other form.
    EXPECT_EQ(KRVCompleter::Complete("exportsmf beat.mid "), Words{"heard"});
    EXPECT_EQ(KRVCompleter::Complete("importsmf song.mid ti"), Words{"timed"});
    EXPECT_EQ(KRVCompleter::Complete("importsmf song.mid h"), Words{});
    EXPECT_EQ(KRVCompleter::Complete("save beat.krv "), Words{});
    EXPECT_EQ(KRVCommandTable::Find("sh")->GetArgumentKind(3), KRVArgumentKind::kHostCommand);
    EXPECT_EQ(KRVCommandTable::Find("namechannel")->GetArgumentKind(4), KRVArgumentKind::kNone);
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

// The console tests cover HOME and XDG_STATE_HOME; a relative XDG path is
// to be ignored, as if it were not set.
TEST(KRVHistoryFile, RelativeStateFolderIsIgnored) {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string saved = state != nullptr ? state : "";
    setenv("XDG_STATE_HOME", "relative", 1);
    std::string path = KRVHistoryFile::GetDefaultPath();
    EXPECT_EQ(path.find("relative"), std::string::npos) << path;
    if (state != nullptr) {
        setenv("XDG_STATE_HOME", saved.c_str(), 1);
    } else {
        unsetenv("XDG_STATE_HOME");
    }
}

KRVCommandLine Parse(std::vector<const char*> inArguments) {
    inArguments.insert(inArguments.begin(), "krv");
    return KRVCommandLine(static_cast<int>(inArguments.size()),
                          const_cast<char**>(inArguments.data()));
}

// The options script covers --help, --version, unknown options and tempos
// at the real program; these are the readings around them.
TEST(KRVCommandLine, TempoAndOptions) {
    EXPECT_EQ(Parse({}).GetStartingTempo(), 120.0);
    EXPECT_EQ(Parse({"140.5"}).GetStartingTempo(), 140.5);
    EXPECT_EQ(Parse({"abc"}).GetStartingTempo(), 120.0);
    // 25,000 exactly is the fastest start, as for the bpm command.
    EXPECT_EQ(Parse({"25000"}).GetStartingTempo(), 25000.0);
    EXPECT_EQ(Parse({"25000.01"}).GetStartingTempo(), 120.0);
    EXPECT_EQ(Parse({"25100"}).GetStartingTempo(), 120.0);
    EXPECT_EQ(Parse({"140", "--version"}).GetAction(), KRVCommandLine::kShowVersion);
    EXPECT_EQ(Parse({"-x"}).GetAction(), KRVCommandLine::kRefuse);
    EXPECT_EQ(Parse({"-"}).GetScripts(), std::vector<std::string>{"-"});
    EXPECT_EQ(Parse({"--", "-x", "--"}).GetScripts(), (std::vector<std::string>{"-x", "--"}));
    EXPECT_EQ(Parse({"-.5"}).GetAction(), KRVCommandLine::kRun);
    EXPECT_EQ(Parse({"140"}).Report(stdout, stderr), -1);
}

}  // namespace
