#include "KRVSafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "KRVPath.h"

namespace {

// The mode a new file gets from open(): 0666 less the umask.
mode_t DefaultMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Makes the rename itself durable; a failure here loses nothing, since both
// the old and the new file are complete.
void SyncFolder(const std::string& inPath) {
    int folder = open(KRVPath::FolderOf(inPath).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
}

}  // namespace

KRVSafeFile::~KRVSafeFile() {
    Abandon();
}

// Follows a chain of symbolic links to the path that will really be written,
// also when the last link dangles (the file is then made where it points).
std::string KRVSafeFile::ResolveLinks(const std::string& inPath) {
    std::string path = inPath;
    for (int hops = 0; hops < 40; hops++) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::vector<char> target(PATH_MAX + 1);
        ssize_t length = readlink(path.c_str(), target.data(), PATH_MAX);
        if (length <= 0) {
            return path;
        }
        std::string next(target.data(), static_cast<size_t>(length));
        path = next[0] == '/' ? next : KRVPath::FolderOf(path) + "/" + next;
    }
    return path;
}

bool KRVSafeFile::Open(const std::string& inPath) {
    Abandon();
    mError = 0;
    mTarget = ResolveLinks(inPath);
    struct stat info;
    bool exists = stat(mTarget.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        mStream = std::fopen(mTarget.c_str(), "w");
        mError = mStream == nullptr ? errno : 0;
        return mStream != nullptr;
    }
    return OpenTemporary(mTarget);
}

bool KRVSafeFile::OpenTemporary(const std::string& inTarget) {
    std::string pattern =
        KRVPath::FolderOf(inTarget) + "/." + KRVPath::LeafOf(inTarget) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        mError = errno;
        return false;
    }
    mTemporary = name.data();
    // The new file keeps the old one's permissions, or gets a new file's.
    struct stat info;
    fchmod(descriptor, stat(inTarget.c_str(), &info) == 0 ? (info.st_mode & 07777) : DefaultMode());
    mStream = fdopen(descriptor, "w");
    if (mStream == nullptr) {
        mError = errno;
        close(descriptor);
        Abandon();
        return false;
    }
    return true;
}

bool KRVSafeFile::Commit() {
    if (mStream == nullptr) {
        return false;
    }
    bool written = std::fflush(mStream) == 0 && !std::ferror(mStream);
    if (written && !mTemporary.empty()) {
        written = fsync(fileno(mStream)) == 0;
    }
    if (!written && mError == 0) {
        mError = errno != 0 ? errno : EIO;
    }
    int closed = std::fclose(mStream);
    mStream = nullptr;
    if (closed != 0 && mError == 0) {
        mError = errno;
        written = false;
    }
    if (mTemporary.empty()) {
        return written;
    }
    if (written && std::rename(mTemporary.c_str(), mTarget.c_str()) != 0) {
        mError = errno;
        written = false;
    }
    if (!written) {
        unlink(mTemporary.c_str());
    } else {
        SyncFolder(mTarget);
    }
    mTemporary.clear();
    return written;
}

void KRVSafeFile::Abandon() {
    if (mStream != nullptr) {
        std::fclose(mStream);
        mStream = nullptr;
    }
    if (!mTemporary.empty()) {
        unlink(mTemporary.c_str());
        mTemporary.clear();
    }
}
