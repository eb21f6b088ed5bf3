// Reading scripts: what a script may run, how its text is taken, and what
// is said when reading it goes wrong.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVStdioInterface.h"
#include "TestShell.h"

namespace {

class ScriptFilesTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/krv-scripts-XXXXXX";
        mFolder = mkdtemp(pattern);
    }
    void TearDown() override {
        std::filesystem::current_path(mStartFolder);
        std::filesystem::remove_all(mFolder);
    }

    std::string Write(const char* inName, const std::string& inText) {
        std::string path = mFolder + "/" + inName;
        std::ofstream(path, std::ios::binary) << inText;
        return path;
    }
    // Runs inInput as the console would, scripts allowed host commands or not.
    std::string Type(const std::string& inInput, bool inShellInScripts = false) {
        FILE* in = fmemopen(const_cast<char*>(inInput.data()), inInput.size(), "r");
        MemoryOutput out;
        {
            KRVStdioInterface interface(in, out.Stream());
            KRVShell shell(&mSequencer, &interface);
            shell.SetShellInScriptsAllowed(inShellInScripts);
            shell.Shell(false);
        }
        std::fclose(in);
        return out.Text();
    }

    KRVSequencer mSequencer;
    std::string mFolder;
    std::filesystem::path mStartFolder = std::filesystem::current_path();
};

// A script that looks like a sequence must not run host commands unless the
// user started krv so; typed, they run as ever.
TEST_F(ScriptFilesTest, ScriptsRunHostCommandsOnlyWhenAllowed) {
    const std::string made = mFolder + "/made";
    std::string script = Write("innocent-beat.krv", "newtrack\nsh touch " + made + "\nnewtrack\n");
    for (const char* command : {"read ", "load "}) {
        std::string said = Type(command + script + "\n");
        EXPECT_NE(said.find("sh: not run from a script; start krv with --allow-shell-in-scripts "
                            "to allow it\n"),
                  std::string::npos)
            << said;
        EXPECT_FALSE(std::filesystem::exists(made));
    }
    EXPECT_EQ(mSequencer.GetTrackCount(), 2);  // the other lines ran
    Write("default.krv", "shell touch " + made + "\n");
    std::filesystem::current_path(mFolder);
    EXPECT_NE(Type("default\n").find("shell: not run from a script"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(made));

    Type("load " + script + "\n", true);
    EXPECT_TRUE(std::filesystem::exists(made));
    std::filesystem::remove(made);
    Type("sh touch " + made + "\n");
    EXPECT_TRUE(std::filesystem::exists(made));
}

}  // namespace
