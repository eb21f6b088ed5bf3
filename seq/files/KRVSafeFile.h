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
// replaced and the link stays. The new file keeps the old one's mode, its
// extended attributes (its ACL among them), and its owner and group where
// the saver may set them. A file with several hard links is replaced under
// the name written to: the other names keep the old text, since writing
// into the shared file in place could leave it half written (GetLosses
// says so).
//
// Where the file may be written but its folder may not, or where the new
// file cannot take the old one's extended attributes, the file is
// rewritten in place as editors do: the whole text is complete first, then
// written over the old one and flushed. That is no longer atomic, and
// GetLosses says so; a failure then may have lost the old contents, and
// DescribeFailure says that.
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
    // After a failed Commit: one sentence naming inName, the error, and
    // what became of the old file.
    std::string DescribeFailure(const std::string& inName) const;
    // After a failed Commit: whether the old contents may be partly
    // overwritten (only a rewrite in place can do that).
    bool MayHaveLostOldContents() const { return mOldContentsLost; }
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
    bool CopyAttributes(int inDescriptor) const;
    bool OpenInMemory();
    bool CommitInPlace();
    bool RewriteFromTemporary();
    bool WriteInPlace(const char* inText, std::size_t inSize);
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
    // Why the old file was (or is to be) rewritten in place, if it was.
    enum class InPlace { kNo, kForFolder, kForAttributes };
    InPlace mInPlace = InPlace::kNo;
    // The text of a rewrite in place for a closed folder, until Commit.
    char* mText = nullptr;
    std::size_t mTextSize = 0;
    bool mOldContentsLost = false;
    static bool sUseUnnamedFiles;
};
