#include "KRVScriptFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "commands/KRVCommandTable.h"
#include "commands/KRVWords.h"
#include "console/KRVSignals.h"

namespace {

// How much of a file is looked at for a NUL byte: text never has one, and
// any binary file (a MIDI file, a program) does early on.
constexpr std::size_t kProbeLength = 4096;

bool IsRegularFile(const struct stat& inInfo, int* outError) {
    if (S_ISREG(inInfo.st_mode)) {
        return true;
    }
    *outError = S_ISDIR(inInfo.st_mode) ? EISDIR : ENODEV;
    return false;
}

// printf into a string.
__attribute__((format(printf, 1, 2))) std::string Format(const char* inFormat, ...) {
    va_list arguments;
    va_start(arguments, inFormat);
    char* text = nullptr;
    std::string result;
    if (vasprintf(&text, inFormat, arguments) >= 0) {
        result = text;
        std::free(text);
    }
    va_end(arguments);
    return result;
}

// A command's row in the table plus 1, 0 for none (or for a row past what a
// byte holds, which the shell then looks up itself).
unsigned char RowNumberOf(const KRVCommand* inCommand) {
    if (inCommand == nullptr) {
        return 0;
    }
    const long row = inCommand - &KRVCommandTable::Get(0);
    return row < 255 ? static_cast<unsigned char>(row + 1) : 0;
}

}  // namespace

std::string KRVScriptFile::Describe(Status inStatus, const char* inVerb,
                                    const std::string& inPath) const {
    const char* path = inPath.c_str();
    switch (inStatus) {
        case kNotText:
            return Format("'%s' is not a krv script\n", path);
        case kForeignLine:
            return Format(
                "'%s' is not a krv script: line %d starts with '%s', no command; "
                "nothing was deleted\n",
                path, mForeignLine, mForeignWord.c_str());
        case kNulLine:
            return Format(
                "'%s' is not a krv script: line %d holds a NUL byte; nothing was deleted\n", path,
                mForeignLine);
        case kTooLarge:
            return Format("'%s' is not a krv script (over %zu MiB)\n", path, kMaxSize >> 20);
        case kReadFailed:
            return Format(
                "%s of '%s' failed at line %d (%s): nothing ran, the sequence is unchanged\n",
                inVerb, path, GetFailedLine(), std::strerror(GetError()));
        case kInterrupted:
            return Format(
                "%s of '%s' interrupted at line %d: nothing ran, the sequence is unchanged\n",
                inVerb, path, GetFailedLine());
        default:
            // A name that is there but no file says what it is instead.
            if (mError == EISDIR || mError == ENODEV) {
                return Format("can't open '%s': %s\n", path,
                              mError == EISDIR ? "it is a folder" : "not a regular file");
            }
            return Format("can't open '%s'\n", path);
    }
}

// The name is looked at before it is opened, so that a FIFO without a
// writer or a device is never opened at all; the open itself does not
// block either, and what it opened is checked again, since the name may
// have been replaced in between.
KRVScriptFile::Status KRVScriptFile::Read(const std::string& inPath) {
    mText.clear();
    mError = 0;
    struct stat info;
    if (stat(inPath.c_str(), &info) != 0) {
        mError = errno;
        return kCannotOpen;
    }
    if (!IsRegularFile(info, &mError)) {
        return kCannotOpen;
    }
    int descriptor = open(inPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        mError = errno;
        return kCannotOpen;
    }
    Status status = kCannotOpen;
    if (fstat(descriptor, &info) != 0) {
        mError = errno;
    } else if (IsRegularFile(info, &mError)) {
        // Room for what the file says it holds, so that a long script is
        // not copied as it grows; the read does not rely on it.
        mText.reserve(std::min<std::size_t>(static_cast<std::size_t>(info.st_size), kMaxSize));
        status = ReadDescriptor(descriptor);
    }
    close(descriptor);
    std::size_t probed = std::min(mText.size(), kProbeLength);
    if (status == kRead && std::memchr(mText.data(), '\0', probed) != nullptr) {
        return kNotText;
    }
    return status;
}

// The file's size is not trusted (files under /proc say 0): it is read to
// its end, in pieces, checking for signals between them.
KRVScriptFile::Status KRVScriptFile::ReadDescriptor(int inDescriptor) {
    std::vector<char> piece(64 * 1024);
    for (;;) {
        ssize_t count = read(inDescriptor, piece.data(), piece.size());
        if (count < 0 && errno == EINTR && !KRVSignals::IsPending()) {
            continue;
        }
        if (count < 0) {
            mError = errno;
            return errno == EINTR ? kInterrupted : kReadFailed;
        }
        if (count == 0) {
            return kRead;
        }
        if (mText.size() + static_cast<std::size_t>(count) > kMaxSize) {
            return kTooLarge;
        }
        mText.append(piece.data(), static_cast<std::size_t>(count));
        if (KRVSignals::IsPending()) {
            return kInterrupted;
        }
    }
}

int KRVScriptFile::GetFailedLine() const {
    return static_cast<int>(std::count(mText.begin(), mText.end(), '\n')) + 1;
}

// A line's first word as a split gives it, empty for a blank line.
// Most first words are plain, and are taken where they lie, found in one
// pass over them (2 % of a load's instructions, against a search for the
// blank and another for quotes); one with quotes or backslashes is split
// into ioWords.
std::string_view KRVScriptFile::FirstWord(std::string_view inLine, KRVLineWords* ioWords) {
    std::size_t first = 0;
    while (first < inLine.size() && inLine[first] == ' ') {
        first++;
    }
    std::size_t end = first;
    while (end < inLine.size() && KRVIsPlainCharacter(inLine[end])) {
        end++;
    }
    if (end < inLine.size() && inLine[end] != ' ') {
        ioWords->Split(inLine);
        return ioWords->Get(0);
    }
    return inLine.substr(first, end - first);
}

// Whether inLine's first word, as a split gives it, is inWord (a
// plain word): at the line's start, followed by a blank or by nothing.
bool KRVScriptFile::StartsWithWord(std::string_view inLine, std::string_view inWord) {
    return inLine.starts_with(inWord) &&
           (inLine.size() == inWord.size() || inLine[inWord.size()] == ' ');
}

// The first word of each line, as the shell will split it; a history
// reference ("!3") counts as a command. Stops at the first line that is not
// blank and is no command, or at the end.
KRVScriptFile::Status KRVScriptFile::CheckCommands() {
    bool hasCommand = false;
    mLineCommands.clear();
    KRVLineWords words;
    // For each command (by its row plus 1, 0 for none), the one whose line
    // came after one of its lines last: a script's lines keep to a few
    // patterns (each event of a sequence takes the same seven commands), and
    // a line that starts with the command foreseen needs no split and no
    // lookup (a load of 1,024 tracks of 64 steps runs 5 % fewer instructions).
    // Each with its name, measured once.
    struct Foreseen {
        const KRVCommand* mCommand = nullptr;
        std::string_view mName;
    };
    std::array<Foreseen, 256> follows{};
    unsigned char previous = 0;
    // One search of the whole text, not one a line (with the same in the
    // script's interface, 1 ms of a load of 1,024 tracks of 64 steps).
    const std::size_t nul = std::min(mText.find('\0'), mText.size());
    std::size_t start = 0;
    for (int number = 1; start < mText.size(); number++) {
        std::size_t end = std::min(mText.find('\n', start), mText.size());
        if (nul < end) {
            mForeignLine = number;
            return kNulLine;
        }
        // Looked at where it lies: a big script's lines are not copied.
        std::string_view line(mText.data() + start, end - start);
        if (start == 0 && line.starts_with(kByteOrderMark)) {
            line.remove_prefix(std::strlen(kByteOrderMark));
        }
        const bool endsInReturn = !line.empty() && line.back() == '\r';
        if (endsInReturn) {
            line.remove_suffix(1);
        }
        const KRVCommand* command = follows[previous].mCommand;
        std::string_view word = follows[previous].mName;
        if (command == nullptr || !StartsWithWord(line, word)) {
            word = FirstWord(line, &words);
            command = nullptr;
        }
        if (command == nullptr && !word.empty() && word[0] != '!') {
            command = KRVCommandTable::Find(word);
            if (command == nullptr) {
                mForeignLine = number;
                mForeignWord = word;
                return kForeignLine;
            }
        }
        const unsigned char row = RowNumberOf(command);
        if (follows[previous].mCommand != command) {
            follows[previous] = {command, command != nullptr ? command->mName : ""};
        }
        previous = row;
        mLineCommands.push_back(endsInReturn ? 0 : row);
        hasCommand = hasCommand || !word.empty();
        start = end + 1;
    }
    return hasCommand ? kRead : kNotText;
}
