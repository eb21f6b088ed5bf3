#include "console/KRVLineEditor.h"

#include <histedit.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>

#include "console/KRVSignalWait.h"
#include "console/KRVSignals.h"

namespace {

// What a listing shows of a candidate: a file's own name, not its folder.
std::string ShownName(const std::string& inCandidate) {
    size_t slash = inCandidate.rfind('/', inCandidate.size() >= 2 ? inCandidate.size() - 2 : 0);
    return slash == std::string::npos ? inCandidate : inCandidate.substr(slash + 1);
}

int GetTerminalWidth(FILE* inStream) {
    struct winsize size;
    if (ioctl(fileno(inStream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

KRVLineEditor::KRVLineEditor(FILE* inStream, FILE* outStream, const std::string& inHistoryPath)
    : mInDescriptor(fileno(inStream)),
      mOutStream(outStream),
      mEditLine(el_init("krv", inStream, outStream, stderr)),
      mHistory(history_init()),
      mHistoryFile(inHistoryPath) {
    // Typed characters beyond ASCII (a channel name, a file name) are read
    // and shown as the terminal's character set has them.
    std::setlocale(LC_CTYPE, "");
    HistEvent event;
    history(mHistory, &event, H_SETSIZE, static_cast<int>(KRVHistoryFile::kMaxLines));
    history(mHistory, &event, H_SETUNIQUE, 1);
    for (const std::string& line : mHistoryFile.Load()) {
        Remember(line);
    }
    el_set(mEditLine, EL_CLIENTDATA, this);
    el_set(mEditLine, EL_EDITOR, "emacs");
    el_set(mEditLine, EL_SIGNAL, 0);
    el_set(mEditLine, EL_PROMPT, GetPrompt);
    el_set(mEditLine, EL_HIST, history, mHistory);
    el_set(mEditLine, EL_GETCFN, ReadCharacter);
    BindKeys();
    // The user's own ~/.editrc comes last, so it can change any of this.
    el_source(mEditLine, nullptr);
}

KRVLineEditor::~KRVLineEditor() {
    // Text still held back (a prompt never used) is shown all the same.
    std::fputs(mPrompt.c_str(), mOutStream);
    std::fflush(mOutStream);
    CloseLineStream();
    mHistoryFile.Save(mRemembered);
    el_end(mEditLine);
    history_end(mHistory);
}

void KRVLineEditor::BindKeys() {
    // The wide form keeps the names as given; the narrow one copies them
    // and never frees the copies.
    el_wset(mEditLine, EL_ADDFN, L"krv-complete", L"complete a command, file or key name",
            CompleteWord);
    el_set(mEditLine, EL_BIND, "^I", "krv-complete", nullptr);
    el_set(mEditLine, EL_BIND, "^R", "em-inc-search-prev", nullptr);
    // Home, End, Delete and Ctrl-arrow word moves as common terminals send them.
    const char* const bindings[][2] = {
        {"\033[H", "ed-move-to-beg"},       {"\033OH", "ed-move-to-beg"},
        {"\033[1~", "ed-move-to-beg"},      {"\033[F", "ed-move-to-end"},
        {"\033OF", "ed-move-to-end"},       {"\033[4~", "ed-move-to-end"},
        {"\033[3~", "ed-delete-next-char"}, {"\033[1;5D", "ed-prev-word"},
        {"\033[1;5C", "em-next-word"},
    };
    for (const auto& binding : bindings) {
        el_set(mEditLine, EL_BIND, binding[0], binding[1], nullptr);
    }
}

int KRVLineEditor::Print(const std::string& inText) {
    if (mEditing) {
        return PrintAbove(inText);
    }
    mPrompt += inText;
    size_t lastNewline = mPrompt.rfind('\n');
    if (lastNewline != std::string::npos) {
        std::fwrite(mPrompt.data(), 1, lastNewline + 1, mOutStream);
        std::fflush(mOutStream);
        mPrompt.erase(0, lastNewline + 1);
    }
    return static_cast<int>(inText.size());
}

// The line being typed is cleared, the lines are printed in its place, and
// the editor draws it again, prompt and all, on the line below them.
int KRVLineEditor::PrintAbove(const std::string& inText) {
    mAbove += inText;
    const size_t lastNewline = mAbove.rfind('\n');
    if (lastNewline != std::string::npos) {
        std::fputs("\r\033[K", mOutStream);
        std::fwrite(mAbove.data(), 1, lastNewline + 1, mOutStream);
        mAbove.erase(0, lastNewline + 1);
        el_set(mEditLine, EL_REFRESH);
        std::fflush(mOutStream);
    }
    return static_cast<int>(inText.size());
}

FILE* KRVLineEditor::GetLineStream(Kind inKind) {
    if (mLineStream != nullptr) {
        int next = std::getc(mLineStream);
        if (next != EOF) {
            std::ungetc(next, mLineStream);
            return mLineStream;
        }
        CloseLineStream();
    }
    if (!ReadTypedLine(inKind)) {
        return nullptr;
    }
    if (inKind == Kind::kCommand && mLine != "\n") {
        Remember(mLine.substr(0, mLine.size() - 1));
    }
    mLineStream = fmemopen(mLine.data(), mLine.size(), "r");
    return mLineStream;
}

// Ctrl-C interrupts the read: the typed line is dropped and the same prompt
// comes again on a fresh line, or for an answer the read ends.
bool KRVLineEditor::ReadTypedLine(Kind inKind) {
    // A Ctrl-C while a command ran is not meant for the new line, but what
    // it means (playback stops) is done before the line is read.
    KRVSignals::ActOnInterrupt();
    for (;;) {
        // Typing must not echo once the prompt is out, so the terminal goes
        // into editing mode before the editor shows it.
        el_set(mEditLine, EL_PREP_TERM, 1);
        int count = 0;
        mEditing = true;
        const char* line = el_gets(mEditLine, &count);
        mEditing = false;
        if (line != nullptr && count > 0) {
            mLine.assign(line, count);
            if (mLine.back() != '\n') {
                mLine += '\n';
            }
            mPrompt.clear();
            return true;
        }
        // And whatever else Ctrl-C means here (playback stops).
        if (count < 0 && KRVSignals::ActOnInterrupt()) {
            std::fputs("\n", mOutStream);
            el_reset(mEditLine);
            if (inKind == Kind::kAnswer) {
                mPrompt.clear();
                mInterruptedAnswer = true;
                return false;
            }
            continue;
        }
        // End of input: the user's shell prompt should start on a line of
        // its own.
        std::fputs("\n", mOutStream);
        std::fflush(mOutStream);
        mPrompt.clear();
        return false;
    }
}

// A line typed again right after itself is kept once, as the editor's own
// history does.
void KRVLineEditor::Remember(const std::string& inLine) {
    if (!mRemembered.empty() && mRemembered.back() == inLine) {
        return;
    }
    HistEvent event;
    history(mHistory, &event, H_ENTER, inLine.c_str());
    mRemembered.push_back(inLine);
    // Only the newest lines are ever saved; keep the list from growing.
    if (mRemembered.size() > 2 * KRVHistoryFile::kMaxLines) {
        mRemembered.erase(mRemembered.begin(), mRemembered.end() - KRVHistoryFile::kMaxLines);
    }
}

void KRVLineEditor::CloseLineStream() {
    if (mLineStream != nullptr) {
        std::fclose(mLineStream);
        mLineStream = nullptr;
    }
}

// The editor's own reader, so that a Ctrl-C pressed while the editor is busy
// with a key (and not waiting in read) still drops the line.
int KRVLineEditor::ReadCharacter(EditLine* inEditLine, wchar_t* outCharacter) {
    KRVLineEditor* editor = nullptr;
    el_get(inEditLine, EL_CLIENTDATA, &editor);
    char bytes[MB_LEN_MAX];
    size_t count = 0;
    for (;;) {
        if (KRVSignals::IsInterrupted()) {
            errno = EINTR;
            return -1;
        }
        // SIGTERM or SIGHUP: the read ends as at the end of input.
        if (KRVSignals::GetTerminatingSignal() != 0) {
            return -1;
        }
        // A signal that came since the tests above cuts the wait short, and
        // they see it.
        if (KRVSignalWait::ForLine(editor->mInDescriptor) != KRVSignalWait::kReady) {
            continue;
        }
        ssize_t got = read(editor->mInDescriptor, &bytes[count], 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return static_cast<int>(got);
        }
        count++;
        std::mbstate_t state = {};
        size_t used = std::mbrtowc(outCharacter, bytes, count, &state);
        if (used == static_cast<size_t>(-2) && count < sizeof bytes) {
            continue;  // more bytes of one character to come
        }
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
            *outCharacter = static_cast<unsigned char>(bytes[0]);
        }
        return 1;
    }
}

const char* KRVLineEditor::GetPrompt(EditLine* inEditLine) {
    KRVLineEditor* editor = nullptr;
    el_get(inEditLine, EL_CLIENTDATA, &editor);
    return editor->mPrompt.c_str();
}

// One candidate replaces the word and ends it; several extend the word as
// far as they agree, and a second Tab lists them.
unsigned char KRVLineEditor::CompleteWord(EditLine* inEditLine, int) {
    KRVLineEditor* editor = nullptr;
    el_get(inEditLine, EL_CLIENTDATA, &editor);
    if (editor->mCompleter == nullptr) {
        return CC_ERROR;
    }
    const LineInfo* info = el_line(inEditLine);
    Completion completion = editor->mCompleter(std::string(info->buffer, info->cursor));
    const std::vector<std::string>& candidates = completion.mCandidates;
    if (candidates.empty()) {
        return CC_ERROR;
    }
    const std::string& typed = completion.mTyped;
    std::string replacement = GetCommonStart(candidates);
    if (candidates.size() == 1 && replacement.back() != '/') {
        replacement += ' ';
    }
    if (replacement.empty() || replacement == typed) {
        editor->ListCandidates(candidates);
        return CC_REDISPLAY;
    }
    el_deletestr(inEditLine, static_cast<int>(typed.size()));
    el_insertstr(inEditLine, replacement.c_str());
    return CC_REFRESH;
}

std::string KRVLineEditor::GetCommonStart(const std::vector<std::string>& inCandidates) {
    std::string common = inCandidates.empty() ? std::string() : inCandidates[0];
    for (const std::string& candidate : inCandidates) {
        auto mismatch =
            std::mismatch(common.begin(), common.end(), candidate.begin(), candidate.end());
        common.erase(mismatch.first, common.end());
    }
    return common;
}

// In columns across the terminal, below the line being typed.
void KRVLineEditor::ListCandidates(const std::vector<std::string>& inCandidates) {
    size_t width = 0;
    for (const std::string& candidate : inCandidates) {
        width = std::max(width, ShownName(candidate).size() + 2);
    }
    size_t columns = std::max<size_t>(1, GetTerminalWidth(mOutStream) / width);
    std::fputs("\n", mOutStream);
    for (size_t i = 0; i < inCandidates.size(); i++) {
        std::string name = ShownName(inCandidates[i]);
        if ((i + 1) % columns == 0 || i + 1 == inCandidates.size()) {
            std::fprintf(mOutStream, "%s\n", name.c_str());
        } else {
            std::fprintf(mOutStream, "%-*s", static_cast<int>(width), name.c_str());
        }
    }
}
