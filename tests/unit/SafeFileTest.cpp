#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

#include "Harness.h"
#include "files/KRVSafeFile.h"

namespace {

class SafeFileTest : public ScratchTest {
protected:
    // Whether the text was saved; outLosses takes what the saver was told.
    static bool Save(const std::string& inPath, const char* inText,
                     std::vector<std::string>* outLosses = nullptr) {
        KRVSafeFile file;
        if (!file.Open(inPath))
            return false;
        std::fputs(inText, file.GetStream());
        const bool saved = file.Commit();
        if (outLosses != nullptr)
            *outLosses = file.GetLosses("a.krv");
        return saved;
    }
    std::uint32_t Mode(const char* inName) const {
        struct stat info;
        return stat(Path(inName).c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
    }
    std::set<std::string> Entries() {
        std::set<std::string> names;
        if (DIR* folder = opendir(mFolder.c_str())) {
            while (const dirent* entry = readdir(folder)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    names.insert(entry->d_name);
            }
            closedir(folder);
        }
        return names;
    }
};

TEST_F(SafeFileTest, ReplacesWholeFilesAndKeepsTheirMode) {
    ASSERT_TRUE(Save(Path("a.krv"), "old\n"));
    chmod(Path("a.krv").c_str(), 0640);
    ASSERT_TRUE(Save(Path("a.krv"), "new\n"));
    EXPECT_EQ(Read(Path("a.krv")), "new\n");
    EXPECT_EQ(Mode("a.krv"), 0640u);
    EXPECT_EQ(Entries(), std::set<std::string>{"a.krv"});

    // An abandoned write leaves the old file and no temporary file.
    {
        KRVSafeFile file;
        ASSERT_TRUE(file.Open(Path("a.krv")));
        std::fputs("half", file.GetStream());
    }
    EXPECT_EQ(Read(Path("a.krv")), "new\n");
    EXPECT_EQ(Entries(), std::set<std::string>{"a.krv"});

    KRVSafeFile missing;
    EXPECT_FALSE(missing.Open(Path("no/such/folder/b.krv")));
    EXPECT_EQ(missing.GetError(), ENOENT);
}

// (The script safety check covers the FIFO and the device refused.)
TEST_F(SafeFileTest, FollowsLinks) {
    ASSERT_TRUE(Save(Path("real.krv"), "old\n"));
    ASSERT_EQ(symlink("real.krv", Path("link.krv").c_str()), 0);
    ASSERT_TRUE(Save(Path("link.krv"), "through the link\n"));
    EXPECT_EQ(Read(Path("real.krv")), "through the link\n");
    struct stat info;
    ASSERT_EQ(lstat(Path("link.krv").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    // A dangling link gets its file made where it points.
    ASSERT_EQ(symlink("later.krv", Path("dangling.krv").c_str()), 0);
    ASSERT_TRUE(Save(Path("dangling.krv"), "made\n"));
    EXPECT_EQ(Read(Path("later.krv")), "made\n");
}

// Where there are no unnamed files, a save killed mid-write leaves its
// temporary file behind, whole or not, and the next save into the folder
// removes it; a living save's stays, and so does every file the saver did
// not make, whatever its name.
TEST_F(SafeFileTest, OnlyTheLeftoversOfKilledSavesGoWithTheNextSave) {
    KRVSafeFile::UseUnnamedFiles(false);
    ASSERT_TRUE(Save(Path("a.krv"), "old\n"));
    chmod(Path("a.krv").c_str(), 0640);
    // Each killed save leaves one new name.
    auto killedSave = [this] {
        const std::set<std::string> before = Entries();
        pid_t child = fork();
        if (child == 0) {
            KRVSafeFile file;
            if (file.Open(Path("a.krv"))) {
                std::fputs("half", file.GetStream());
                std::fflush(file.GetStream());
                raise(SIGKILL);
            }
            _exit(1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        std::set<std::string> after = Entries();
        for (const std::string& name : before) {
            after.erase(name);
        }
        return after.size() == 1 ? *after.begin() : std::string();
    };
    // Each one's own save sweeps the folder: the leftovers that must stay
    // are given away or locked first.
    const std::vector<const char*> named = {".krv-backup", ".krv-Report", ".krv-abc123",
                                            ".krv-unfinished-mine0000"};
    std::set<std::string> kept(named.begin(), named.end());
    kept.insert("a.krv");
    const std::string others = killedSave();
    ASSERT_FALSE(others.empty());
    if (chown(Path(others).c_str(), 65534, 65534) == 0) {
        kept.insert(others);
    } else {
        unlink(Path(others).c_str());
    }
    const std::string held = killedSave();
    ASSERT_FALSE(held.empty());
    int lock = open(Path(held).c_str(), O_RDONLY);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    kept.insert(held);
    ASSERT_FALSE(killedSave().empty());
    for (const char* name : named) {
        ASSERT_TRUE(Save(Path(name), "mine\n"));
    }
    EXPECT_EQ(Read(Path("a.krv")), "old\n");
    ASSERT_TRUE(Save(Path("a.krv"), "new\n"));
    EXPECT_EQ(Entries(), kept);
    EXPECT_EQ(Read(Path("a.krv")), "new\n");
    EXPECT_EQ(Mode("a.krv"), 0640u);
    close(lock);
    ASSERT_TRUE(Save(Path("a.krv"), "newer\n"));
    kept.erase(held);
    EXPECT_EQ(Entries(), kept);
    {
        KRVSafeFile unfinished;
        ASSERT_TRUE(unfinished.Open(Path("a.krv")));
        EXPECT_EQ(Entries().size(), kept.size() + 1);
    }
    EXPECT_EQ(Entries(), kept);
    KRVSafeFile::UseUnnamedFiles(true);
}

// Several names of one file: the one written to gets the new text, the
// others keep the old, and the saver is told.
TEST_F(SafeFileTest, HardLinksKeepTheOldTextAndAreTold) {
    ASSERT_TRUE(Save(Path("a.krv"), "old\n"));
    ASSERT_EQ(link(Path("a.krv").c_str(), Path("b.krv").c_str()), 0);
    std::vector<std::string> losses;
    ASSERT_TRUE(Save(Path("a.krv"), "new\n", &losses));
    EXPECT_EQ(Read(Path("a.krv")), "new\n");
    EXPECT_EQ(Read(Path("b.krv")), "old\n");
    EXPECT_EQ(losses, std::vector<std::string>{
                          "'a.krv' had other hard links, which keep the old contents"});
    ASSERT_TRUE(Save(Path("a.krv"), "", &losses));
    EXPECT_TRUE(losses.empty());
}

}  // namespace
