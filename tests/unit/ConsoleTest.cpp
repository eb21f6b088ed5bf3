#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "KRVCommandLine.h"
#include "KRVCompleter.h"
#include "KRVHistoryFile.h"
#include "KRVShell.h"

namespace {

using Words = std::vector<std::string>;

// A scratch folder removed again with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/krv-console-XXXXXX";
        mPath = mkdtemp(pattern);
    }
    ~ScratchFolder() { std::system(("rm -rf '" + mPath + "'").c_str()); }
    const std::string& Path() const { return mPath; }
    void Touch(const std::string& inName) const { std::ofstream(mPath + "/" + inName); }

private:
    std::string mPath;
};

TEST(KRVCompleter, CommandsAndShortFormsComeFromTheTable) {
    EXPECT_EQ(KRVCompleter::Complete("unsel"), (Words{"unsele", "unselectevent", "unselectstep",
                                                      "unselecttrack", "unsels", "unselt"}));
    EXPECT_EQ(KRVCompleter::Complete("  vers"), Words{"version"});
    EXPECT_EQ(KRVCompleter::Complete("PLAY"), Words{});
    int words = 0;
    for (int row = 0; row < KRVShell::kCommandCount; row++) {
        words += KRVShell::GetCommandAlias(row)[0] != '\0' ? 2 : 1;
    }
    EXPECT_EQ(KRVCompleter::Complete("").size(), static_cast<size_t>(words));
}

TEST(KRVCompleter, ArgumentsByCommand) {
    // Key names in any case; the common start may differ in case from what
    // was typed.
    EXPECT_EQ(KRVCompleter::Complete("fitkey d"), (Words{"D", "D#", "Db"}));
    EXPECT_EQ(KRVCompleter::Complete("fitkey C"), (Words{"C", "C#", "Cb"}));
    EXPECT_EQ(KRVCompleter::GetCommonStart({"D", "D#", "Db"}), "D");
    // Only the first argument of fitkey, no note names, nothing after an
    // unknown command.
    EXPECT_EQ(KRVCompleter::Complete("fitkey C "), Words{});
    EXPECT_EQ(KRVCompleter::Complete("setnote C"), Words{});
    EXPECT_EQ(KRVCompleter::Complete("bogus x"), Words{});

    // Every command that takes a file, by name or short form, and the host
    // command's words.
    for (const char* command : {"read", "load", "save", "saveconfig", "saveselection", "savesel",
                                "exportsmf", "importsmf"}) {
        int row = KRVShell::FindCommand(command);
        EXPECT_EQ(KRVShell::GetArgumentKind(row, 1), KRVShell::kFileArgument) << command;
        EXPECT_EQ(KRVShell::GetArgumentKind(row, 2), KRVShell::kOtherArgument) << command;
    }
    EXPECT_EQ(KRVShell::GetArgumentKind(KRVShell::FindCommand("sh"), 3), KRVShell::kFileArgument);
    EXPECT_EQ(KRVShell::GetArgumentKind(KRVShell::FindCommand("bpm"), 1), KRVShell::kOtherArgument);
}

TEST(KRVCompleter, FileNamesEscapedAsTheTokeniserReadsThem) {
    ScratchFolder folder;
    folder.Touch("my beat.krv");
    folder.Touch("mine's.krv");
    folder.Touch(".hidden");
    mkdir((folder.Path() + "/mixes").c_str(), 0700);
    std::string at = folder.Path() + "/";
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

TEST(KRVHistoryFile, KeepsTheNewestLinesAndNeverFailsLoudly) {
    ScratchFolder folder;
    KRVHistoryFile file(folder.Path() + "/state/krv/history");
    EXPECT_TRUE(file.Load().empty());
    Words lines;
    for (int i = 1; i <= 1200; i++) {
        lines.push_back("display " + std::to_string(i));
    }
    ASSERT_TRUE(file.Save(lines));
    Words kept = file.Load();
    ASSERT_EQ(kept.size(), KRVHistoryFile::kMaxLines);
    EXPECT_EQ(kept.front(), "display 201");
    EXPECT_EQ(kept.back(), "display 1200");

    // A folder that cannot be made: false, and the file elsewhere is intact.
    folder.Touch("plain");
    EXPECT_FALSE(KRVHistoryFile(folder.Path() + "/plain/krv/history").Save(lines));
    EXPECT_FALSE(KRVHistoryFile("").Save(lines));
    EXPECT_EQ(file.Load().size(), KRVHistoryFile::kMaxLines);
}

TEST(KRVHistoryFile, PathFromTheEnvironment) {
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::string state = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
    setenv("HOME", "/home/u", 1);
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(KRVHistoryFile::GetDefaultPath(), "/home/u/.local/state/krv/history");
    setenv("XDG_STATE_HOME", "/s", 1);
    EXPECT_EQ(KRVHistoryFile::GetDefaultPath(), "/s/krv/history");
    setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_EQ(KRVHistoryFile::GetDefaultPath(), "/home/u/.local/state/krv/history");
    unsetenv("HOME");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(KRVHistoryFile::GetDefaultPath(), "");
    setenv("HOME", home.c_str(), 1);
    if (!state.empty()) {
        setenv("XDG_STATE_HOME", state.c_str(), 1);
    }
}

KRVCommandLine Parse(std::vector<const char*> inArguments) {
    inArguments.insert(inArguments.begin(), "krv");
    return KRVCommandLine(static_cast<int>(inArguments.size()),
                          const_cast<char**>(inArguments.data()));
}

TEST(KRVCommandLine, TempoAndOptions) {
    EXPECT_EQ(Parse({}).GetAction(), KRVCommandLine::kRun);
    EXPECT_EQ(Parse({}).GetStartingTempo(), 120.0);
    EXPECT_EQ(Parse({"140.5"}).GetStartingTempo(), 140.5);
    EXPECT_EQ(Parse({"abc"}).GetStartingTempo(), 120.0);
    EXPECT_EQ(Parse({"-5"}).GetAction(), KRVCommandLine::kRun);
    EXPECT_EQ(Parse({"-5"}).GetStartingTempo(), 120.0);
    EXPECT_EQ(Parse({"--help"}).GetAction(), KRVCommandLine::kShowHelp);
    EXPECT_EQ(Parse({"140", "--version"}).GetAction(), KRVCommandLine::kShowVersion);
    EXPECT_EQ(Parse({"140", "--bogus"}).GetAction(), KRVCommandLine::kRefuse);
    EXPECT_EQ(Parse({"-"}).GetAction(), KRVCommandLine::kRefuse);
    EXPECT_EQ(Parse({"140"}).Report(stdout, stderr), -1);
}

}  // namespace
