#pragma once

#include <cstdio>
#include <string>

// Writes a file so that the old one survives any failure: the text goes to a
// temporary file in the same folder, which is flushed to disk and then
// renamed over the old file. Until Commit succeeds the old file is untouched,
// and a failed or abandoned write leaves no temporary file behind.
//
// A symbolic link is followed: the file it points to is replaced and the
// link stays. A target that is not a regular file (a device, a pipe) is
// written directly, since it cannot be replaced.
class KRVSafeFile {
public:
    KRVSafeFile() = default;
    ~KRVSafeFile();
    KRVSafeFile(const KRVSafeFile&) = delete;
    KRVSafeFile& operator=(const KRVSafeFile&) = delete;

    // False when nothing could be opened; GetError() says why.
    bool Open(const std::string& inPath);
    // Where to write the text; valid between Open and Commit.
    FILE* GetStream() const { return mStream; }
    // Finishes the write and puts the file in place; false when anything
    // went wrong since Open, in which case the old file is as it was.
    bool Commit();
    // The errno of the first failure.
    int GetError() const { return mError; }

private:
    static std::string ResolveLinks(const std::string& inPath);
    bool OpenTemporary(const std::string& inTarget);
    void Abandon();

    FILE* mStream = nullptr;
    std::string mTarget;
    std::string mTemporary;  // empty when writing the target directly
    int mError = 0;
};
