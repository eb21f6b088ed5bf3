#include "smf/KRVSMFFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/KRVSafeFile.h"

int KRVSMFFile::StatusOf(int inErrno) {
    if (inErrno == KRVSafeFile::kNotRegularFile) {
        return -EINVAL;
    }
    return inErrno == ENOENT ? kFileNotFound : -inErrno;
}

// ReadAll gives -EINVAL for a name that is no regular file, and nothing
// else does.
std::string KRVSMFFile::Describe(int inStatus) {
    if (inStatus == kFileNotFound) {
        return std::strerror(ENOENT);
    }
    if (inStatus == -EINVAL) {
        return KRVSafeFile::Describe(KRVSafeFile::kNotRegularFile);
    }
    return std::strerror(-inStatus);
}

int KRVSMFFile::GetPathStatus(const char* inPath) {
    struct stat info;
    return stat(inPath, &info) == 0 ? 0 : StatusOf(errno);
}

int KRVSMFFile::GetWritableFileStatus(const char* inPath) {
    struct stat info;
    if (stat(inPath, &info) != 0) {
        return StatusOf(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return -EISDIR;
    }
    return access(inPath, W_OK) == 0 ? 0 : StatusOf(errno);
}

int KRVSMFFile::GetDirectoryStatus(const char* inPath) {
    struct stat info;
    if (stat(inPath, &info) != 0) {
        return StatusOf(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return -ENOTDIR;
    }
    return access(inPath, W_OK | X_OK) == 0 ? 0 : StatusOf(errno);
}

KRVSMFFile::~KRVSMFFile() {
    if (mDescriptor >= 0) {
        close(mDescriptor);
    }
}

// Non-blocking, so that opening a FIFO with no writer cannot hang.
int KRVSMFFile::Open(const char* inPath) {
    mDescriptor = open(inPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return mDescriptor >= 0 ? 0 : StatusOf(errno);
}

int KRVSMFFile::ReadAll(std::vector<std::uint8_t>* outData) {
    struct stat info;
    if (fstat(mDescriptor, &info) != 0) {
        return StatusOf(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return -EISDIR;
    }
    if (!S_ISREG(info.st_mode)) {
        return -EINVAL;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxFileSize) {
        return -EFBIG;
    }
    // The file may change size while it is read; only what fits is taken.
    outData->resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < outData->size()) {
        ssize_t count = read(mDescriptor, outData->data() + done, outData->size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return StatusOf(errno);
        }
        if (count == 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    outData->resize(done);
    return 0;
}

// The old file stays whole until the new one is complete on disk.
int KRVSMFFile::Write(const char* inPath, const std::vector<std::uint8_t>& inData,
                      KRVSafeFile* ioFile) {
    if (!ioFile->Open(inPath)) {
        return StatusOf(ioFile->GetError());
    }
    std::fwrite(inData.data(), 1, inData.size(), ioFile->GetStream());
    return ioFile->Commit() ? 0 : StatusOf(ioFile->GetError());
}
