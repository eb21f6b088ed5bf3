#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class KRVSafeFile;

// The file-system side of Standard MIDI File exchange. Every call answers
// with a status: 0 for success, kFileNotFound when a name leads nowhere,
// otherwise the negative errno of the failing call.
class KRVSMFFile {
public:
    static constexpr int kFileNotFound = -43;
    // Larger files are refused before anything is allocated for them.
    static constexpr std::size_t kMaxFileSize = 64 * 1024 * 1024;

    // Whether anything exists under the name.
    static int GetPathStatus(const char* inPath);
    // Whether an existing name is a file that can be written over.
    static int GetWritableFileStatus(const char* inPath);
    // Whether a directory exists in which a new file can be made.
    static int GetDirectoryStatus(const char* inPath);
    // Words for a status of these calls or of Open and ReadAll.
    static std::string Describe(int inStatus);

    // Reading is split in two so that a name that cannot be opened is told
    // apart from a file that cannot be read.
    KRVSMFFile() = default;
    ~KRVSMFFile();
    KRVSMFFile(const KRVSMFFile&) = delete;
    KRVSMFFile& operator=(const KRVSMFFile&) = delete;
    int Open(const char* inPath);
    // Only regular files of at most kMaxFileSize bytes are read.
    int ReadAll(std::vector<std::uint8_t>* outData);

    // Creates or replaces the file through ioFile, which then tells what
    // failed or what the new file could not keep; on any failure the old
    // file is kept as it was and nothing is left half written.
    static int Write(const char* inPath, const std::vector<std::uint8_t>& inData,
                     KRVSafeFile* ioFile);

private:
    // The status for an errno (or KRVSafeFile::kNotRegularFile).
    static int StatusOf(int inErrno);
    int mDescriptor = -1;
};
