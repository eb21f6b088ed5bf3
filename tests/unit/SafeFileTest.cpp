#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "KRVSafeFile.h"

namespace {

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/krv-safefile-XXXXXX";
        mFolder = mkdtemp(pattern);
    }
    void TearDown() override { std::system(("rm -rf " + mFolder).c_str()); }

    std::string Path(const char* inName) { return mFolder + "/" + inName; }
    static std::string Contents(const std::string& inPath) {
        std::ifstream in(inPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static bool Save(const std::string& inPath, const char* inText) {
        KRVSafeFile file;
        if (!file.Open(inPath))
            return false;
        std::fputs(inText, file.GetStream());
        return file.Commit();
    }
    int CountEntries() {
        std::string command = "test $(ls -A " + mFolder + " | wc -l) -eq ";
        for (int count = 0; count < 10; count++) {
            if (std::system((command + std::to_string(count)).c_str()) == 0)
                return count;
        }
        return -1;
    }

    std::string mFolder;
};

TEST_F(SafeFileTest, ReplacesWholeFilesAndKeepsTheirMode) {
    ASSERT_TRUE(Save(Path("a.krv"), "old\n"));
    chmod(Path("a.krv").c_str(), 0640);
    ASSERT_TRUE(Save(Path("a.krv"), "new\n"));
    EXPECT_EQ(Contents(Path("a.krv")), "new\n");
    struct stat info;
    ASSERT_EQ(stat(Path("a.krv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(CountEntries(), 1);

    // An abandoned write leaves the old file and no temporary file.
    {
        KRVSafeFile file;
        ASSERT_TRUE(file.Open(Path("a.krv")));
        std::fputs("half", file.GetStream());
    }
    EXPECT_EQ(Contents(Path("a.krv")), "new\n");
    EXPECT_EQ(CountEntries(), 1);

    KRVSafeFile missing;
    EXPECT_FALSE(missing.Open(Path("no/such/folder/b.krv")));
    EXPECT_EQ(missing.GetError(), ENOENT);
}

TEST_F(SafeFileTest, FollowsLinksAndWritesDevicesDirectly) {
    ASSERT_TRUE(Save(Path("real.krv"), "old\n"));
    ASSERT_EQ(symlink("real.krv", Path("link.krv").c_str()), 0);
    ASSERT_TRUE(Save(Path("link.krv"), "through the link\n"));
    EXPECT_EQ(Contents(Path("real.krv")), "through the link\n");
    struct stat info;
    ASSERT_EQ(lstat(Path("link.krv").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    // A dangling link gets its file made where it points.
    ASSERT_EQ(symlink("later.krv", Path("dangling.krv").c_str()), 0);
    ASSERT_TRUE(Save(Path("dangling.krv"), "made\n"));
    EXPECT_EQ(Contents(Path("later.krv")), "made\n");

    EXPECT_TRUE(Save("/dev/null", "gone\n"));
    ASSERT_EQ(stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

}  // namespace
