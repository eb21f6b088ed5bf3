#include "files/KRVSafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include "files/KRVPath.h"

namespace {

// Temporary names are of one shape no user would give a file, and short,
// so that a target of any legal length (up to NAME_MAX) can have one beside
// it. The random part keeps two saves into one folder apart. The shape alone
// proves nothing, so a later save removes a leftover only when it also
// bears the mark (kMark) and the other signs of a save of this user's that
// was killed: see IsAbandonedTemporary.
constexpr char kTemporaryPrefix[] = ".krv-unfinished-";
constexpr std::size_t kRandomLength = 8;

// The mark: an access time no file gets by use, set as soon as the name is
// locked, and replaced by the time of the commit before the rename. A file
// system too coarse to keep it keeps no mark, and its leftovers stay.
constexpr struct timespec kMark = {1, 271828182};

std::string MakeTemporaryName() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string name = kTemporaryPrefix;
    for (std::size_t i = 0; i < kRandomLength; i++) {
        name += kLetters[random() % (sizeof kLetters - 1)];
    }
    return name;
}

bool IsTemporaryName(const char* inName) {
    const std::size_t prefixLength = sizeof kTemporaryPrefix - 1;
    if (std::strlen(inName) != prefixLength + kRandomLength ||
        std::strncmp(inName, kTemporaryPrefix, prefixLength) != 0) {
        return false;
    }
    for (const char* letter = inName + prefixLength; *letter != '\0'; letter++) {
        if (!std::isalnum(static_cast<unsigned char>(*letter))) {
            return false;
        }
    }
    return true;
}

bool SetMark(int inDescriptor) {
    const struct timespec times[2] = {kMark, {0, UTIME_OMIT}};
    return futimens(inDescriptor, times) == 0;
}

// What a save's own temporary file looks like: the saver's, a regular file
// of one name, with the mark. Whether its save has ended is for the lock.
bool IsAbandonedTemporary(const struct stat& inInfo) {
    return S_ISREG(inInfo.st_mode) && inInfo.st_uid == geteuid() && inInfo.st_nlink == 1 &&
           inInfo.st_atim.tv_sec == kMark.tv_sec && inInfo.st_atim.tv_nsec == kMark.tv_nsec;
}

// The mode a new file gets from open(): 0666 less the umask.
mode_t DefaultMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool IsSameFile(const struct stat& inA, const struct stat& inB) {
    return inA.st_dev == inB.st_dev && inA.st_ino == inB.st_ino;
}

// Writes all of inText, or fails with errno set.
bool WriteAll(int inDescriptor, const char* inText, std::size_t inSize) {
    while (inSize > 0) {
        ssize_t written = write(inDescriptor, inText, inSize);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            errno = written < 0 ? errno : EIO;
            return false;
        }
        inText += written;
        inSize -= static_cast<std::size_t>(written);
    }
    return true;
}

// The names of a file's extended attributes, NUL-separated; empty where it
// has none or its file system keeps none.
std::vector<char> ListAttributes(const char* inPath) {
    for (int attempt = 0; attempt < 4; attempt++) {
        ssize_t length = listxattr(inPath, nullptr, 0);
        if (length <= 0) {
            return {};
        }
        std::vector<char> names(static_cast<std::size_t>(length));
        length = listxattr(inPath, names.data(), names.size());
        if (length >= 0) {
            names.resize(static_cast<std::size_t>(length));
            return names;
        }
        // ERANGE: one was added meanwhile; ask again.
    }
    return {};
}

// The file systems without unnamed files say so in one of these ways.
bool LacksUnnamedFiles(int inError) {
    return inError == EOPNOTSUPP || inError == EISDIR || inError == EINVAL;
}

}  // namespace

bool KRVSafeFile::sUseUnnamedFiles = true;

KRVSafeFile::~KRVSafeFile() {
    Abandon();
}

std::string KRVSafeFile::Describe(int inError) {
    return inError == kNotRegularFile ? "not a regular file" : std::strerror(inError);
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

// Opens the target's folder and learns what the target is; 0 when the user
// may replace it, else the error. Names are used relative to the folder
// from here on, so the temporary name never makes a path too long.
int KRVSafeFile::Inspect(const std::string& inPath) {
    CloseFolder();
    mExists = false;
    mInPlace = InPlace::kNo;
    const std::string target = ResolveLinks(inPath);
    mLeaf = KRVPath::LeafOf(target);
    if (mLeaf.empty() || mLeaf == "." || mLeaf == "..") {
        return EISDIR;
    }
    mFolder = open(KRVPath::FolderOf(target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (mFolder < 0) {
        return errno;
    }
    if (fstatat(mFolder, mLeaf.c_str(), &mOld, 0) == 0) {
        mExists = true;
        if (S_ISDIR(mOld.st_mode)) {
            return EISDIR;
        }
        if (!S_ISREG(mOld.st_mode)) {
            return kNotRegularFile;
        }
        if (faccessat(mFolder, mLeaf.c_str(), W_OK, AT_EACCESS) != 0) {
            return errno;
        }
    } else if (errno != ENOENT) {
        return errno;
    }
    // The new file is made in the folder, and renamed there; a file the
    // user may write in a folder it may not is rewritten in place.
    if (faccessat(mFolder, ".", W_OK | X_OK, AT_EACCESS) == 0) {
        return 0;
    }
    int error = errno;
    if (mExists && (error == EACCES || error == EPERM)) {
        mInPlace = InPlace::kForFolder;
        return 0;
    }
    return error;
}

int KRVSafeFile::CheckTarget(const std::string& inPath) {
    KRVSafeFile probe;
    return probe.Inspect(inPath);
}

bool KRVSafeFile::Open(const std::string& inPath) {
    Abandon();
    mOwnerLost = false;
    mOldContentsLost = false;
    mError = Inspect(inPath);
    if (mError != 0) {
        CloseFolder();
        return false;
    }
    if (mInPlace == InPlace::kForFolder) {
        return OpenInMemory();
    }
    RemoveLeftovers();
    int descriptor = sUseUnnamedFiles ? CreateUnnamed() : -1;
    if (descriptor < 0 && (!sUseUnnamedFiles || LacksUnnamedFiles(errno))) {
        descriptor = CreateNamed();
    }
    if (descriptor >= 0) {
        mStream = fdopen(descriptor, "w");
        if (mStream == nullptr) {
            close(descriptor);
        }
    }
    if (mStream == nullptr) {
        mError = errno;
        Abandon();
        return false;
    }
    return true;
}

// Nothing may be made in the folder, so the text waits in memory until it
// is complete.
bool KRVSafeFile::OpenInMemory() {
    mStream = open_memstream(&mText, &mTextSize);
    if (mStream == nullptr) {
        mError = errno;
        Abandon();
        return false;
    }
    return true;
}

// A file without a name vanishes with the process, whenever it is killed.
int KRVSafeFile::CreateUnnamed() {
    int descriptor = openat(mFolder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return -1;
    }
    mLock = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (mLock < 0 || flock(mLock, LOCK_EX) != 0 || !SetMark(descriptor)) {
        int error = errno;
        close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

// The name exists before its lock, so a save cleaning up at that moment may
// take it for a leftover and remove it; the name is checked after locking
// and another made if it has gone.
int KRVSafeFile::CreateNamed() {
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = MakeTemporaryName();
        int descriptor =
            openat(mFolder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (descriptor < 0 && errno == EEXIST) {
            continue;
        }
        if (descriptor < 0) {
            return -1;
        }
        mLock = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
        struct stat opened, named;
        if (mLock >= 0 && flock(mLock, LOCK_EX) == 0 && SetMark(descriptor) &&
            fstat(descriptor, &opened) == 0 &&
            fstatat(mFolder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            IsSameFile(opened, named)) {
            mTemporary = name;
            return descriptor;
        }
        close(descriptor);
        if (mLock >= 0) {
            close(mLock);
            mLock = -1;
        }
    }
    errno = EEXIST;
    return -1;
}

// Done once the text is complete, so that until then the file is the
// saver's alone, open to a later save's clean-up whatever mode it will
// have. The owner and group can only be given by their holder (or root);
// the mode is set last, since a change of owner may clear some of its bits.
void KRVSafeFile::KeepOwnerAndMode(int inDescriptor) {
    if (!mExists) {
        fchmod(inDescriptor, DefaultMode());
        return;
    }
    if (fchown(inDescriptor, mOld.st_uid, mOld.st_gid) != 0) {
        // The group alone may still be ours to give.
        if (fchown(inDescriptor, static_cast<uid_t>(-1), mOld.st_gid) != 0) {
            mOwnerLost = true;
        }
    }
    struct stat made;
    if (fstat(inDescriptor, &made) == 0 && made.st_uid != mOld.st_uid) {
        mOwnerLost = true;
    }
    fchmod(inDescriptor, mOld.st_mode & 07777);
}

// Every extended attribute of the old file (an ACL is one) goes to the new
// one before its owner changes, while the saver may still set them. False
// when one could not be copied: the old file must then be rewritten in
// place, not dropped in silence.
bool KRVSafeFile::CopyAttributes(int inDescriptor) const {
    const std::string old = "/proc/self/fd/" + std::to_string(mFolder) + "/" + mLeaf;
    const std::vector<char> names = ListAttributes(old.c_str());
    for (std::size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
        const char* name = &names[at];
        ssize_t length = getxattr(old.c_str(), name, nullptr, 0);
        std::vector<char> value(static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
        if (length < 0 || getxattr(old.c_str(), name, value.data(), value.size()) != length ||
            fsetxattr(inDescriptor, name, value.data(), value.size(), 0) != 0) {
            return false;
        }
    }
    return true;
}

// Temporary files left by saves of this user that were killed: those that
// bear every sign of one and that no living save holds locked. Anything
// else, whatever its name, is not ours to remove.
void KRVSafeFile::RemoveLeftovers() const {
    int listing = openat(mFolder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* folder = listing >= 0 ? fdopendir(listing) : nullptr;
    if (folder == nullptr) {
        if (listing >= 0) {
            close(listing);
        }
        return;
    }
    while (const dirent* entry = readdir(folder)) {
        if (!IsTemporaryName(entry->d_name)) {
            continue;
        }
        int descriptor =
            openat(listing, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0) {
            continue;
        }
        struct stat opened, named;
        if (fstat(descriptor, &opened) == 0 && IsAbandonedTemporary(opened) &&
            flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(listing, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            IsSameFile(opened, named)) {
            unlinkat(listing, entry->d_name, 0);
        }
        close(descriptor);
    }
    closedir(folder);
}

// The rename is atomic, so the target is the old file or the new one at
// every moment; the lock keeps the temporary name safe from other saves
// until it is done.
bool KRVSafeFile::Commit() {
    if (mStream == nullptr) {
        return false;
    }
    if (mInPlace == InPlace::kForFolder) {
        return CommitInPlace();
    }
    bool written = Finish();
    if (written && mExists && !CopyAttributes(mLock)) {
        mInPlace = InPlace::kForAttributes;
        written = RewriteFromTemporary();
        Abandon();
        return written;
    }
    if (written) {
        KeepOwnerAndMode(mLock);
    }
    if (written && mTemporary.empty()) {
        written = NameUnnamed();
    }
    if (written && renameat(mFolder, mTemporary.c_str(), mFolder, mLeaf.c_str()) != 0) {
        mError = errno;
        written = false;
    }
    if (written) {
        mTemporary.clear();
        // The new file loses the mark while still locked: it is nobody's
        // leftover. Failing, it keeps an odd access time, and nothing else.
        const struct timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_OMIT}};
        futimens(mLock, now);
        // Makes the rename itself durable; a failure here loses nothing,
        // since both the old and the new file are complete.
        int folder = openat(mFolder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            fsync(folder);
            close(folder);
        }
    }
    Abandon();
    return written;
}

// Everything written reaches the disk, or the first error is kept.
bool KRVSafeFile::Finish() {
    bool written =
        std::fflush(mStream) == 0 && !std::ferror(mStream) && fsync(fileno(mStream)) == 0;
    if (!written) {
        mError = errno != 0 ? errno : EIO;
    }
    if (std::fclose(mStream) != 0 && written) {
        mError = errno;
        written = false;
    }
    mStream = nullptr;
    return written;
}

bool KRVSafeFile::CommitInPlace() {
    bool written = std::fclose(mStream) == 0;
    mStream = nullptr;
    if (!written) {
        mError = errno != 0 ? errno : ENOMEM;
    }
    written = written && WriteInPlace(mText, mTextSize);
    Abandon();
    return written;
}

// The new text is complete on disk beside the old file; it is read back
// through its descriptor and written over the old one.
bool KRVSafeFile::RewriteFromTemporary() {
    const std::string path = "/proc/self/fd/" + std::to_string(mLock);
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        mError = errno;
        return false;
    }
    std::string text;
    char block[65536];
    ssize_t length;
    while ((length = read(descriptor, block, sizeof block)) != 0) {
        if (length < 0 && errno != EINTR) {
            break;
        }
        text.append(block, static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
    }
    if (length < 0) {
        mError = errno;
    }
    close(descriptor);
    return length == 0 && WriteInPlace(text.data(), text.size());
}

// Until the first byte is written the old file is whole; after it, a
// failure may leave it partly overwritten, and that is said.
bool KRVSafeFile::WriteInPlace(const char* inText, std::size_t inSize) {
    int descriptor = openat(mFolder, mLeaf.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        mError = errno;
        return false;
    }
    bool written = WriteAll(descriptor, inText, inSize) &&
                   ftruncate(descriptor, static_cast<off_t>(inSize)) == 0 && fsync(descriptor) == 0;
    if (!written) {
        mError = errno;
    }
    if (close(descriptor) != 0 && written) {
        mError = errno;
        written = false;
    }
    mOldContentsLost = !written;
    return written;
}

// An unnamed file gets its name directly where the process may
// (AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH, and then needs no /proc, nor a
// link from a folder a sandbox may close), or through its descriptor under
// /proc.
bool KRVSafeFile::NameUnnamed() {
    const std::string descriptorPath = "/proc/self/fd/" + std::to_string(mLock);
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = MakeTemporaryName();
        if (linkat(mLock, "", mFolder, name.c_str(), AT_EMPTY_PATH) == 0 ||
            (errno != EEXIST && linkat(AT_FDCWD, descriptorPath.c_str(), mFolder, name.c_str(),
                                       AT_SYMLINK_FOLLOW) == 0)) {
            mTemporary = name;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    mError = errno;
    return false;
}

std::string KRVSafeFile::DescribeFailure(const std::string& inName) const {
    std::string text = "couldn't write '" + inName + "' (" + Describe(mError) + ")";
    if (mOldContentsLost) {
        return text + " while rewriting it in place: its old contents may be lost";
    }
    return mExists ? text + ", the old file is unchanged" : text;
}

std::vector<std::string> KRVSafeFile::GetLosses(const std::string& inName) const {
    std::vector<std::string> losses;
    if (mInPlace == InPlace::kForFolder) {
        losses.push_back("'" + inName +
                         "' was rewritten in place: its folder may not be written, so it could "
                         "not be replaced atomically");
    } else if (mInPlace == InPlace::kForAttributes) {
        losses.push_back("'" + inName +
                         "' was rewritten in place to keep its extended attributes, not replaced "
                         "atomically");
    } else if (mExists && mOld.st_nlink > 1) {
        losses.push_back("'" + inName + "' had other hard links, which keep the old contents");
    }
    if (mOwnerLost) {
        losses.push_back("'" + inName + "' could not keep its owner and group, and is now yours");
    }
    return losses;
}

void KRVSafeFile::Abandon() {
    if (mStream != nullptr) {
        std::fclose(mStream);
        mStream = nullptr;
    }
    std::free(mText);
    mText = nullptr;
    mTextSize = 0;
    if (!mTemporary.empty()) {
        unlinkat(mFolder, mTemporary.c_str(), 0);
        mTemporary.clear();
    }
    if (mLock >= 0) {
        close(mLock);
        mLock = -1;
    }
    CloseFolder();
}

void KRVSafeFile::CloseFolder() {
    if (mFolder >= 0) {
        close(mFolder);
        mFolder = -1;
    }
}
