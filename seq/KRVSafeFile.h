#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

// Writes a file so that the old one survives any failure, and a kill at any
// moment leaves the old file or the new one and nothing else: the text goes
// to an unnamed file in the same folder (O_TMPFILE), which is flushed to
// disk, given a short name and renamed over the old file. Where the file
// system has no unnamed files, the short name comes first; a file left by a
// killed save is removed by the next save of the same user into that folder,
// and nothing else is, whatever its name.
//
// A target the user may not write is refused before anything is written,
// as is one that is no regular file (a FIFO or a device could block or
// swallow the text). A symbolic link is followed: the file it points to is
// replaced and the link stays. The new file keeps the old one's mode, and
// its owner and group where the saver may set them. A file with several
// hard links is replaced under the name written to: the other names keep
// the old text, since writing into the shared file in place could leave it
// half written (GetLosses says so).
class KRVSafeFile {
public:
    // The error for a target that is no regular file or folder; errno has
    // none that says so.
    static constexpr int kNotRegularFile = -1;

    KRVSafeFile() = default;
    ~KRVSafeFile();
    KRVSafeFile(const KRVSafeFile&) = delete;
    KRVSafeFile& operator=(const KRVSafeFile&) = delete;

    // Whether inPath could be replaced, without writing anything: 0, or the
    // error Open would give.
    static int CheckTarget(const std::string& inPath);
    // False when nothing could be opened; GetError() says why.
    bool Open(const std::string& inPath);
    // Where to write the text; valid between Open and Commit.
    FILE* GetStream() const { return mStream; }
    // Finishes the write and puts the file in place; false when anything
    // went wrong since Open, in which case the old file is as it was.
    bool Commit();
    // The errno of the first failure, or kNotRegularFile.
    int GetError() const { return mError; }
    // Words for an error of GetError or CheckTarget.
    static std::string Describe(int inError);
    // After Commit: one sentence for each thing the new file could not keep
    // of the old one (its other hard links, its owner), naming inName.
    std::vector<std::string> GetLosses(const std::string& inName) const;
    // For tests: with false, saves go the way they go on a file system
    // without unnamed files, which the machines that test have none of.
    static void UseUnnamedFiles(bool inUse) { sUseUnnamedFiles = inUse; }

private:
    static std::string ResolveLinks(const std::string& inPath);
    int Inspect(const std::string& inPath);
    int CreateUnnamed();
    int CreateNamed();
    bool NameUnnamed();
    void KeepOwnerAndMode(int inDescriptor);
    void RemoveLeftovers() const;
    bool Finish();
    void Abandon();
    void CloseFolder();

    FILE* mStream = nullptr;
    // A second descriptor of the new file: it holds the lock that tells a
    // later save the temporary name is in use, until the rename is done.
    int mLock = -1;
    int mFolder = -1;
    std::string mLeaf;
    bool mExists = false;
    struct stat mOld = {};
    // The short name, once the new file has one.
    std::string mTemporary;
    int mError = 0;
    bool mOwnerLost = false;
    static bool sUseUnnamedFiles;
};
