#include "console/KRVStdioInterface.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "commands/KRVWords.h"
#include "console/KRVHistoryFile.h"
#include "console/KRVLineEditor.h"
#include "console/KRVLineLimit.h"
#include "console/KRVSignalWait.h"
#include "console/KRVSignals.h"

namespace {

bool IsTerminal(FILE* inStream) {
    return inStream != nullptr && isatty(fileno(inStream));
}

// Whether a read would take from the stream's buffer rather than wait.
// stdio has no call for it; the GNU C library keeps the unread part between
// these two pointers. A character pushed back with ungetc after the buffer
// ran dry is not seen, and nothing here pushes back into a stream that has a
// descriptor.
bool HasBufferedInput(FILE* inStream) {
    return inStream->_IO_read_ptr < inStream->_IO_read_end;
}

const char* FindNul(std::string_view inText) {
    return static_cast<const char*>(std::memchr(inText.data(), '\0', inText.size()));
}

}  // namespace

KRVStdioInterface::KRVStdioInterface(std::string_view inText)
    : mInStream(nullptr),
      mOutStream(nullptr),
      mText(inText),
      mReadsText(true),
      mNextNul(FindNul(inText)) {}

KRVStdioInterface::KRVStdioInterface(FILE* inStream, FILE* outStream)
    : mInStream(inStream), mOutStream(outStream) {
    if (EditsLines(inStream, outStream)) {
        mLineEditor =
            std::make_unique<KRVLineEditor>(inStream, outStream, KRVHistoryFile::GetDefaultPath());
    }
}

// Nothing written is lost: what is still held goes out now.
KRVStdioInterface::~KRVStdioInterface() {
    if (!mHeld.empty()) {
        SendHeld();
    }
}

bool KRVStdioInterface::EditsLines(FILE* inStream, FILE* outStream) {
    return IsTerminal(inStream) && IsTerminal(outStream);
}

void KRVStdioInterface::SetCompleter(KRVLineEditor::Completer inCompleter) {
    if (mLineEditor != nullptr) {
        mLineEditor->SetCompleter(inCompleter);
    }
}

int KRVStdioInterface::ReadLine(char* inBuffer, int inBufferLength) {
    if (mInputDelegate != nullptr) {
        return mInputDelegate->ReadLine(inBuffer, inBufferLength);
    }
    return ReadOwnLine(inBuffer, inBufferLength, KRVLineEditor::Kind::kCommand);
}

int KRVStdioInterface::ReadAnswer(char* inBuffer, int inBufferLength) {
    if (mInputDelegate != nullptr) {
        return mInputDelegate->ReadAnswer(inBuffer, inBufferLength);
    }
    return ReadOwnLine(inBuffer, inBufferLength, KRVLineEditor::Kind::kAnswer);
}

// At a terminal the line editor reads; anywhere else the stream itself.
int KRVStdioInterface::ReadOwnLine(char* inBuffer, int inBufferLength, KRVLineEditor::Kind inKind) {
    if (mReadsText) {
        return ReadFromText(inBuffer, inBufferLength);
    }
    // What was written, the prompt or a question among it, must be out (or
    // with the line editor, to show as its prompt) before we block. A
    // script's shell writes through the console's and leaves it be: it
    // never waits.
    SendHeld();
    if (mLineEditor != nullptr) {
        FILE* line = mLineEditor->GetLineStream(inKind);
        if (line == nullptr) {
            return mLineEditor->TakeInterruptedAnswer() ? kInterrupted : -1;
        }
        return ReadFromStream(line, inBuffer, inBufferLength);
    }
    return ReadFromStream(mInStream, inBuffer, inBufferLength);
}

// Lines from pipes and files, and typed lines from the editor, all pass here.
int KRVStdioInterface::ReadFromStream(FILE* inStream, char* inBuffer, int inBufferLength) {
    if (inStream == nullptr || inBufferLength < 1) {
        return -1;
    }
    // The line's room is kept from line to line.
    std::string& line = mLine;
    line.clear();
    bool cut = false;
    bool ended = false;
    if (!ReadRawLine(inStream, static_cast<size_t>(inBufferLength), &line, &cut, &ended)) {
        return -1;
    }
    if (mLinesRead++ == 0) {
        KRVDropByteOrderMark(&line);
    }
    if (cut) {
        return KRVLineLimit::kTooLong;
    }
    if (line.find('\0') != std::string::npos) {
        return KRVLineLimit::kHasNul;
    }
    // A carriage return before the newline belongs to the line ending (files
    // written on other systems); one at the very end of the input stays.
    if (ended && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return KRVLineLimit::Deliver(line.data(), line.size(), inBuffer, inBufferLength);
}

// A script's lines are taken where they lie, by the rules a stream's are
// read by (a load of a large script spent a tenth of its time copying them
// through a memory stream).
int KRVStdioInterface::ReadFromText(char* inBuffer, int inBufferLength) {
    if (mText.empty() || inBufferLength < 1) {
        return -1;
    }
    const std::size_t newline = mText.find('\n');
    const bool ended = newline != std::string_view::npos;
    std::string_view line = mText.substr(0, newline);
    mText.remove_prefix(ended ? newline + 1 : mText.size());
    // A NUL before the rest of the text is in this line (the newline is none).
    const bool hasNul = mNextNul != nullptr && mNextNul < mText.data();
    if (hasNul) {
        mNextNul = FindNul(mText);
    }
    // Measured before the byte order mark goes, as a stream's line is.
    const bool cut = line.size() > static_cast<std::size_t>(inBufferLength);
    if (mLinesRead++ == 0 && line.starts_with(kByteOrderMark)) {
        line.remove_prefix(std::strlen(kByteOrderMark));
    }
    if (cut) {
        return KRVLineLimit::kTooLong;
    }
    if (hasNul) {
        return KRVLineLimit::kHasNul;
    }
    if (ended && line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return KRVLineLimit::Deliver(line.data(), line.size(), inBuffer, inBufferLength);
}

// Reads up to the next newline (consumed, not kept) or the end of input.
// At most inKeep characters are kept; outCut tells that more were dropped.
// False when the input had nothing left at all, or when a signal the
// command thread must act on came before the line did, or when the read
// failed (mReadError says why): a failed read is no end of input.
//
// What the stream holds already is taken a run at a time, up to a newline,
// as getc would take it character by character (it moves the same pointer);
// getc itself reads what is not held yet, after the wait for it.
bool KRVStdioInterface::ReadRawLine(FILE* inStream, size_t inKeep, std::string* outLine,
                                    bool* outCut, bool* outEnded) {
    bool any = false;
    for (;;) {
        if (HasBufferedInput(inStream)) {
            const char* begin = inStream->_IO_read_ptr;
            const size_t held = static_cast<size_t>(inStream->_IO_read_end - begin);
            const char* newline = static_cast<const char*>(std::memchr(begin, '\n', held));
            const size_t length = newline != nullptr ? static_cast<size_t>(newline - begin) : held;
            const size_t room = inKeep - std::min(inKeep, outLine->size());
            outLine->append(begin, std::min(length, room));
            *outCut = *outCut || length > room;
            inStream->_IO_read_ptr += newline != nullptr ? length + 1 : length;
            any = true;
            if (newline != nullptr) {
                *outEnded = true;
                return true;
            }
            continue;
        }
        if (!AwaitInput(inStream)) {
            return false;
        }
        errno = 0;
        int ch = std::getc(inStream);
        if (ch == EOF) {
            if (std::ferror(inStream) && errno != EINTR) {
                mReadError = errno != 0 ? errno : EIO;
                return false;
            }
            if (errno != EINTR || !std::ferror(inStream)) {
                return any;
            }
            std::clearerr(inStream);
            continue;
        }
        any = true;
        if (ch == '\n') {
            *outEnded = true;
            return true;
        }
        if (outLine->size() < inKeep) {
            outLine->push_back(static_cast<char>(ch));
        } else {
            *outCut = true;
        }
    }
}

// Until the stream has input for getc, so that a signal is never slept
// through in a read; false when a signal is pending instead. What the
// stream holds already is read first, at no cost: a long piped script takes
// a wait per buffer, not per character. Text in memory never waits.
bool KRVStdioInterface::AwaitInput(FILE* inStream) {
    const int descriptor = fileno(inStream);
    if (descriptor < 0 || HasBufferedInput(inStream)) {
        return true;
    }
    for (;;) {
        if (KRVSignals::IsPending()) {
            return false;
        }
        if (KRVSignalWait::ForLine(descriptor) == KRVSignalWait::kReady) {
            return true;
        }
    }
}

int KRVStdioInterface::Print(std::string_view inText) {
    if (mOutStream == nullptr) {
        return 0;
    }
    mHeld += inText;
    if (mHeld.size() >= kMaxHeldBytes) {
        SendHeld();
    }
    return static_cast<int>(inText.size());
}

KRVShellInterface::Terminal KRVStdioInterface::GetTerminal() const {
    if (mLineEditor == nullptr) {
        return {};
    }
    return {mInStream, mOutStream};
}

int KRVStdioInterface::GetColumns() const {
    if (mOutputDelegate != nullptr) {
        return mOutputDelegate->GetColumns();
    }
    winsize size{};
    if (!IsTerminal(mOutStream) || ioctl(fileno(mOutStream), TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

// Text written meanwhile by what a signal set off (SIGINT's action while our
// write waits for room) is held and goes out when the send before it ends:
// the stream is in the middle of a write then and must not be entered again.
// At a terminal the line editor takes it, holding back the partial last line
// (a prompt, a question) to show as its own prompt.
void KRVStdioInterface::SendHeld() {
    if (mOutStream == nullptr || mSending) {
        return;
    }
    mSending = true;
    do {
        // Both buffers keep their room, so that a long output does not
        // allocate afresh for every piece.
        mHeld.swap(mSent);
        if (mLineEditor != nullptr) {
            mLineEditor->Print(mSent);
        } else if (!mSent.empty()) {
            std::fwrite(mSent.data(), 1, mSent.size(), mOutStream);
        }
        mSent.clear();
        std::fflush(mOutStream);
    } while (!mHeld.empty());
    mSending = false;
}

// The C library formats; the answers that every line of a big script gives
// are put together apart (KRVAnswer).
template <typename... Arguments>
int KRVStdioInterface::PrintFormatted(const char* inFormat, Arguments... inArguments) {
    if (mOutStream == nullptr) {
        return 0;
    }
    const std::size_t before = mHeld.size();
    mHeld += KRVFormatText(inFormat, inArguments...);
    const int length = static_cast<int>(mHeld.size() - before);
    if (mHeld.size() >= kMaxHeldBytes) {
        SendHeld();
    }
    return length;
}

// The forms the nine formatted writes take, made here once: a caller that
// calls a write of this class directly (not through the interface) needs
// them, and may be built without inlining.
template int KRVStdioInterface::PrintFormatted(const char*, int);
template int KRVStdioInterface::PrintFormatted(const char*, int, int);
template int KRVStdioInterface::PrintFormatted(const char*, long);
template int KRVStdioInterface::PrintFormatted(const char*, double);
template int KRVStdioInterface::PrintFormatted(const char*, unsigned long);
template int KRVStdioInterface::PrintFormatted(const char*, unsigned long, int);
template int KRVStdioInterface::PrintFormatted(const char*, const char*);
template int KRVStdioInterface::PrintFormatted(const char*, const char*, const char*);
template int KRVStdioInterface::PrintFormatted(const char*, const char*, int);

// The held text's room is kept from command to command (fresh memory costs
// more than the copying), as far as a piece of kMaxHeldBytes takes; what a
// single long write made more of is given back once it is out.
void KRVStdioInterface::Flush() {
    if (mOutputDelegate != nullptr) {
        mOutputDelegate->Flush();
        return;
    }
    SendHeld();
    constexpr std::size_t kKeptRoom = 4 * kMaxHeldBytes;
    if (!mSending && mHeld.capacity() > kKeptRoom) {
        std::string().swap(mHeld);
    }
    if (!mSending && mSent.capacity() > kKeptRoom) {
        std::string().swap(mSent);
    }
}

int KRVStdioInterface::Write(const char* inBuffer) {
    return WriteSized(inBuffer);
}

int KRVStdioInterface::WriteSized(std::string_view inText) {
    if (mOutputDelegate != nullptr) {
        return mOutputDelegate->WriteSized(inText);
    }
    if (mOutStream == nullptr) {
        return 1;
    }
    return Print(inText);
}
