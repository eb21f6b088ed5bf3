#include "live/KRVLiveView.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "KRVCommandContext.h"
#include "commands/KRVCommands.h"
#include "commands/KRVGridText.h"
#include "console/KRVCompleter.h"
#include "console/KRVLineLimit.h"
#include "console/KRVSignalWait.h"
#include "console/KRVSignals.h"
#include "model/KRVSequencer.h"

// The curses macros would take over std::string's clear() and erase().
#define NCURSES_NOMACROS
#include <curses.h>

namespace {

// How long a wait for a key lasts, so that the playing step is redrawn
// within a frame of moving.
constexpr int kFrameMs = 30;
// Long enough for an arrow key's bytes to come together, short enough
// that Esc alone leaves at once.
constexpr int kEscapeDelayMs = 25;
// Lines of command output shown above the command line.
constexpr int kOutputLines = 3;
constexpr int kVelocityStep = 8;
constexpr int kGateStep = 10;
constexpr int kOctave = 12;
constexpr int kEscape = 27;
constexpr int kControlU = 21;

constexpr const char* kHelp[] = {
    "space    play / stop            p        pause",
    "arrows   move the cursor        Enter    select / unselect the event",
    "m        mute / unmute          M        mute / unmute the track",
    "h        horizontal solo        v        vertical solo",
    "+ -      note up / down         Shift-Up / Shift-Down   an octave",
    "< >      velocity -8 / +8       [ ]      gate -10 / +10",
    "u        undo                   r        redo",
    ":        a command              q, Esc   back to the prompt",
    "",
    "m h v + - < > [ ] act on the selection, or on the cursor's event when",
    "nothing is selected. Any key closes this list.",
};

// The terminal the view opens, closed again on every way out of Run, with
// the locale's character type for UTF-8 names only while it is open (the
// rest of krv reads and writes numbers in the C locale's ways).
class Screen {
public:
    explicit Screen(KRVShellInterface::Terminal inTerminal)
        : mLocale(std::setlocale(LC_CTYPE, nullptr)) {
        std::setlocale(LC_CTYPE, "");
        mScreen = newterm(nullptr, inTerminal.mOut, inTerminal.mIn);
    }
    ~Screen() {
        if (mScreen != nullptr) {
            endwin();
            delscreen(mScreen);
        }
        std::setlocale(LC_CTYPE, mLocale.c_str());
    }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    bool IsOpen() const { return mScreen != nullptr; }

private:
    std::string mLocale;
    SCREEN* mScreen = nullptr;
};

// What the view's commands say goes to the view rather than the terminal,
// and their questions are asked there, until the view closes.
class Redirection {
public:
    Redirection(KRVShellInterface* ioConsole, KRVShellInterface* inView) : mConsole(ioConsole) {
        mConsole->SetOutputDelegate(inView);
        mConsole->SetInputDelegate(inView);
    }
    ~Redirection() {
        mConsole->SetOutputDelegate(nullptr);
        mConsole->SetInputDelegate(nullptr);
    }
    Redirection(const Redirection&) = delete;
    Redirection& operator=(const Redirection&) = delete;

private:
    KRVShellInterface* mConsole;
};

int Clamp(int inValue, int inLowest, int inHighest) {
    return std::max(inLowest, std::min(inValue, inHighest));
}

// The last inCount lines of inText, a partial last line among them.
void LastLines(const std::string& inText, int inCount, std::vector<std::string>* outLines) {
    std::size_t end = inText.size();
    if (end > 0 && inText[end - 1] == '\n') {
        end--;
    }
    while (static_cast<int>(outLines->size()) < inCount && end > 0) {
        std::size_t newline = inText.rfind('\n', end - 1);
        std::size_t start = newline == std::string::npos ? 0 : newline + 1;
        outLines->insert(outLines->begin(), inText.substr(start, end - start));
        if (newline == std::string::npos) {
            break;
        }
        end = newline;
    }
}

}  // namespace

const char* KRVLiveView::GetRefusal(KRVShellInterface::Terminal inTerminal) {
    if (inTerminal.mIn == nullptr || inTerminal.mOut == nullptr) {
        return "live needs a terminal: standard input and output are not one\n";
    }
    const char* term = std::getenv("TERM");
    if (term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0) {
        return "live needs a terminal that can draw: TERM is dumb or unset\n";
    }
    return nullptr;
}

KRVLiveView::KRVLiveView(KRVCommandContext& ioContext, KRVShellInterface::Terminal inTerminal)
    : mContext(ioContext), mTerminal(inTerminal), mOutput(this) {}

KRVCommandResult KRVLiveView::Run() {
    Screen screen(mTerminal);
    if (!screen.IsOpen()) {
        return mContext.Refuse("live can't use this terminal (TERM names none known here)\n");
    }
    Redirection redirection(&mContext.GetInterface(), &mOutput);
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(kEscapeDelayMs);
    wtimeout(stdscr, kFrameMs);
    curs_set(0);
    mReverse = (termattrs() & A_REVERSE) != 0;
    const char* noColour = std::getenv("NO_COLOR");
    mColour = has_colors() && (noColour == nullptr || *noColour == '\0');
    if (mColour) {
        start_color();
        use_default_colors();
        init_pair(1, COLOR_YELLOW, -1);
    }
    mUnsaved = mContext.GetShell().HasUnsavedChanges();
    // A SIGINT, SIGTERM or SIGHUP leaves; the prompt acts on it.
    while (!mQuit && !KRVSignals::IsPending()) {
        DrawIfChanged();
        const int key = wgetch(stdscr);
        if (key != ERR && !OnKey(key)) {
            break;
        }
        // Keys played in are taken once a frame, on this thread.
        if (KRVSignalWait::Side* side = KRVSignalWait::GetSide()) {
            side->Serve();
        }
    }
    return mQuit ? KRVCommandResult::kQuit : KRVCommandResult::kSucceeded;
}

KRVLiveView::Snapshot KRVLiveView::TakeSnapshot() const {
    KRVSequencer& sequencer = mContext.GetSequencer();
    Snapshot snapshot;
    snapshot.mPlaying = sequencer.IsPlaying();
    // The step lit is the one heard, not the one the clock has handed over
    // ahead of its time.
    snapshot.mStep1 = snapshot.mPlaying ? sequencer.GetSoundingStep() + 1 : 0;
    snapshot.mChanges = sequencer.GetChangeCount();
    snapshot.mRows = LINES;
    snapshot.mColumns = COLS;
    return snapshot;
}

// Asked of the terminal on every frame rather than told by SIGWINCH, whose
// handler may be anyone's and which may reach any thread.
void KRVLiveView::FollowTerminalSize() {
    winsize size{};
    if (ioctl(fileno(mTerminal.mOut), TIOCGWINSZ, &size) != 0 || size.ws_row == 0 ||
        size.ws_col == 0) {
        return;
    }
    if (size.ws_row != LINES || size.ws_col != COLS) {
        resizeterm(size.ws_row, size.ws_col);
        mDirty = true;
    }
}

// A terminal that has stopped reading (Ctrl-S, a stalled connection) gets
// no more frames until it has room again: they are dropped, not queued,
// and the next is drawn as things then stand.
void KRVLiveView::DrawIfChanged() {
    FollowTerminalSize();
    if (!mDirty && TakeSnapshot() == mDrawn) {
        return;
    }
    pollfd output{fileno(mTerminal.mOut), POLLOUT, 0};
    if (poll(&output, 1, 0) == 1 && (output.revents & POLLOUT) != 0) {
        Draw();
    }
}

void KRVLiveView::Draw() {
    mDrawn = TakeSnapshot();
    mDirty = false;
    mOutput.SetColumns(COLS);
    KeepCursorInGrid();
    werase(stdscr);
    DrawStatus();
    const int gridRows = std::max(LINES - 2 - kOutputLines, 0);
    if (mShowsHelp) {
        DrawHelp(1, gridRows);
    } else {
        DrawGrid(1, gridRows);
    }
    DrawBottom();
    wrefresh(stdscr);
}

void KRVLiveView::DrawStatus() {
    const KRVSequencer& sequencer = mContext.GetSequencer();
    std::string line =
        mDrawn.mPlaying ? "playing step " + std::to_string(mDrawn.mStep1) : std::string("stopped");
    line += ", " + KRVCommands::TempoText(sequencer.GetBPM());
    line += ", scale " + std::to_string(sequencer.GetBarCount()) + " " +
            std::to_string(sequencer.GetStepCount());
    line += ", " + KRVCommands::LoopText(sequencer);
    if (const std::string system = mContext.GetMIDISystemName(); !system.empty()) {
        line += ", " + system;
    }
    if (mUnsaved) {
        line += ", unsaved changes";
    }
    wattron(stdscr, A_BOLD);
    mvwaddnstr(stdscr, 0, 0, line.c_str(), COLS);
    wattroff(stdscr, A_BOLD);
}

void KRVLiveView::KeepCursorInGrid() {
    const KRVSequencer& sequencer = mContext.GetSequencer();
    mTrack1 = Clamp(mTrack1, 1, sequencer.GetTrackCount());
    mStep1 = Clamp(mStep1, 1, sequencer.GetStepCount());
}

// The block of steps that holds the cursor, and the tracks around the
// cursor's track that fit.
void KRVLiveView::DrawGrid(int inTop, int inRows) {
    const KRVSequencer& sequencer = mContext.GetSequencer();
    const int perBlock = KRVGridText::StepsPerBlock(COLS, sequencer.GetStepCount());
    const int first1 = (mStep1 - 1) / perBlock * perBlock + 1;
    const KRVGridText::Steps steps{first1,
                                   std::min(first1 + perBlock - 1, sequencer.GetStepCount())};
    // Tracks differ in height (chance, ratchet and length lines), so the
    // rows are counted track by track: the cursor's track stays in view,
    // and as many after it as fit.
    const int room = inRows - KRVGridText::kHeaderLines - 1;
    auto linesOf = [&sequencer](int inTrack1) {
        return KRVGridText::GetTrackLines(sequencer, inTrack1);
    };
    mTopTrack1 = std::max(std::min(mTopTrack1, mTrack1), 1);
    int aboveCursor = 0;
    for (int track1 = mTopTrack1; track1 < mTrack1; track1++) {
        aboveCursor += linesOf(track1);
    }
    while (sequencer.GetTrackCount() > 0 && mTopTrack1 < mTrack1 &&
           aboveCursor + linesOf(mTrack1) > room) {
        aboveCursor -= linesOf(mTopTrack1++);
    }
    int lastTrack1 = 0;
    if (sequencer.GetTrackCount() > 0) {
        lastTrack1 = mTopTrack1;
        for (int used = linesOf(mTopTrack1);
             lastTrack1 < sequencer.GetTrackCount() && used + linesOf(lastTrack1 + 1) <= room;) {
            used += linesOf(++lastTrack1);
        }
    }
    std::string text;
    KRVGridText::AppendHeader(&text, sequencer, steps);
    for (int track1 = mTopTrack1; track1 <= lastTrack1; track1++) {
        KRVGridText::AppendTrack(&text, sequencer, track1, steps);
    }
    KRVGridText::AppendRuler(&text, steps);
    int row = inTop;
    for (std::size_t start = 0; start < text.size() && row < inTop + inRows; row++) {
        const std::size_t end = text.find('\n', start);
        mvwaddnstr(stdscr, row, 0, text.c_str() + start, static_cast<int>(end - start));
        start = end + 1;
    }
    const int rows = row - inTop;
    const int cursorRow = inTop + KRVGridText::kHeaderLines + aboveCursor + 1;
    if (sequencer.GetTrackCount() > 0 && cursorRow < inTop + rows) {
        mvwchgat(stdscr, cursorRow, KRVGridText::GetCellColumn(first1, mStep1), 3,
                 A_BOLD | A_UNDERLINE, mColour ? 1 : 0, nullptr);
    }
    if (mDrawn.mPlaying && mDrawn.mStep1 >= steps.mFirst && mDrawn.mStep1 <= steps.mLast) {
        MarkStep(inTop, rows, first1, mDrawn.mStep1);
    }
}

// Every line of the header and of the tracks shows the step in reverse
// video; where the terminal has none, a mark stands before the step.
void KRVLiveView::MarkStep(int inTop, int inRows, int inFirst1, int inStep1) {
    const int column = KRVGridText::GetCellColumn(inFirst1, inStep1);
    for (int row = inTop; row < inTop + inRows; row++) {
        if (mReverse) {
            // The cursor's cell keeps its own attributes besides.
            const chtype cell = mvwinch(stdscr, row, column);
            const attr_t attributes = static_cast<attr_t>(cell & A_ATTRIBUTES & ~A_COLOR);
            const short pair = static_cast<short>(PAIR_NUMBER(cell));
            mvwchgat(stdscr, row, column, 3, attributes | A_REVERSE, pair, nullptr);
        } else {
            mvwaddch(stdscr, row, column - 1, static_cast<chtype>('>'));
        }
    }
}

void KRVLiveView::DrawHelp(int inTop, int inRows) {
    int row = inTop;
    for (const char* line : kHelp) {
        if (row >= inTop + inRows) {
            break;
        }
        mvwaddnstr(stdscr, row++, 0, line, COLS);
    }
}

// The last lines the last command said, and the command line, or a hint.
void KRVLiveView::DrawBottom() {
    std::vector<std::string> lines;
    LastLines(mOutput.GetText(), kOutputLines + (mQuestion.empty() ? 0 : 1), &lines);
    if (!mQuestion.empty() && !lines.empty()) {
        lines.pop_back();
    }
    const int firstRow = LINES - 1 - kOutputLines;
    for (int line = 0; line < static_cast<int>(lines.size()) && line < kOutputLines; line++) {
        mvwaddnstr(stdscr, firstRow + line, 0, lines[line].c_str(), COLS);
    }
    if (mEditing) {
        const std::string shown = (mQuestion.empty() ? ":" : mQuestion) + mLine;
        mvwaddnstr(stdscr, LINES - 1, 0, shown.c_str(), COLS);
        curs_set(1);
    } else {
        const std::string hint = "track " + std::to_string(mTrack1) + " step " +
                                 std::to_string(mStep1) + "   ? keys  : command  q leave";
        mvwaddnstr(stdscr, LINES - 1, 0, hint.c_str(), COLS);
        curs_set(0);
    }
}

bool KRVLiveView::OnKey(int inKey) {
    mDirty = true;
    // ncurses's own word for a resize it has followed; FollowTerminalSize
    // sees to the rest.
    if (inKey == KEY_RESIZE) {
        return true;
    }
    if (mEditing) {
        return OnCommandLineKey(inKey);
    }
    if (mShowsHelp) {
        mShowsHelp = false;
        return true;
    }
    const KRVSequencer& sequencer = mContext.GetSequencer();
    switch (inKey) {
        case 'q':
        case kEscape:
            return false;
        case '?':
            mShowsHelp = true;
            return true;
        case ':':
            mEditing = true;
            mLine.clear();
            mRecalled = mTyped.size();
            return true;
        case KEY_UP:
            mTrack1 = std::max(mTrack1 - 1, 1);
            return true;
        case KEY_DOWN:
            mTrack1 = std::min(mTrack1 + 1, sequencer.GetTrackCount());
            return true;
        case KEY_LEFT:
            mStep1 = std::max(mStep1 - 1, 1);
            return true;
        case KEY_RIGHT:
            mStep1 = std::min(mStep1 + 1, sequencer.GetStepCount());
            return true;
        default:
            break;
    }
    std::size_t named = 0;
    const std::vector<std::string> lines = CommandsForKey(inKey, &named);
    if (!lines.empty()) {
        RunLines(lines, named);
    }
    return !mQuit;
}

std::vector<std::string> KRVLiveView::CommandsForKey(int inKey, std::size_t* outNamed) const {
    const KRVSequencer& sequencer = mContext.GetSequencer();
    *outNamed = 0;
    if (sequencer.GetTrackCount() == 0) {
        return CommandsForGrid(inKey);
    }
    const KRVEvent& event = GetCursorEvent();
    const int note = event.GetNote();
    const int velocity = event.GetVelocity();
    const int gate = event.GetGateTime();
    switch (inKey) {
        case '\r':
        case '\n':
        case KEY_ENTER:
            return {(event.IsSelected() ? "unselectevent " : "selectevent ") + CursorWords(true)};
        case 'm':
            return OnCursorEvent(event.IsMuted() ? "unmute" : "mute", outNamed);
        case 'M': {
            const bool muted = sequencer.GetTrack(mTrack1).IsMuted();
            return {(muted ? "unmutetrack " : "mutetrack ") + CursorWords(false)};
        }
        case 'h':
            return OnCursorEvent(event.IsHSoloed() ? "hunsolo" : "hsolo", outNamed);
        case 'v':
            return OnCursorEvent(event.IsVSoloed() ? "vunsolo" : "vsolo", outNamed);
        case '+':
        case '=':
        case '-':
        case KEY_SR:
        case KEY_SF: {
            const int by = inKey == KEY_SR   ? kOctave
                           : inKey == KEY_SF ? -kOctave
                           : inKey == '-'    ? -1
                                             : 1;
            return OnCursorEvent("setnote " + std::to_string(Clamp(note + by, 0, 127)), outNamed);
        }
        case '<':
        case '>': {
            const int by = inKey == '<' ? -kVelocityStep : kVelocityStep;
            return OnCursorEvent("setvelocity " + std::to_string(Clamp(velocity + by, 0, 127)),
                                 outNamed);
        }
        case '[':
        case ']': {
            const int by = inKey == '[' ? -kGateStep : kGateStep;
            return OnCursorEvent("setgatetime " + std::to_string(Clamp(gate + by, 0, 90)),
                                 outNamed);
        }
        default:
            return CommandsForGrid(inKey);
    }
}

// The keys that need no event under the cursor.
std::vector<std::string> KRVLiveView::CommandsForGrid(int inKey) const {
    switch (inKey) {
        case ' ':
            return {mContext.GetSequencer().IsPlaying() ? "stop" : "play"};
        case 'p':
            return {"pause"};
        case 'u':
            return {"undo"};
        case 'r':
            return {"redo"};
        default:
            return {};
    }
}

// With nothing selected, the cursor's event is selected for the command
// and unselected after it, all one undo step named after the command.
std::vector<std::string> KRVLiveView::OnCursorEvent(const std::string& inCommand,
                                                    std::size_t* outNamed) const {
    if (mContext.GetSequencer().GetSelectedCount() > 0) {
        *outNamed = 0;
        return {inCommand};
    }
    *outNamed = 1;
    const std::string where = CursorWords(true);
    return {"selectevent " + where, inCommand, "unselectevent " + where};
}

// The cursor's track (and step) as the commands read them: 0-based in
// migration mode.
std::string KRVLiveView::CursorWords(bool inStepToo) const {
    const int base = mContext.IsMigrationMode() ? 0 : 1;
    std::string words = std::to_string(mTrack1 - 1 + base);
    if (inStepToo) {
        words += " " + std::to_string(mStep1 - 1 + base);
    }
    return words;
}

const KRVEvent& KRVLiveView::GetCursorEvent() const {
    const KRVSequencer& sequencer = mContext.GetSequencer();
    return sequencer.GetEvent(Clamp(mTrack1, 1, sequencer.GetTrackCount()),
                              Clamp(mStep1, 1, sequencer.GetStepCount()));
}

void KRVLiveView::RunLines(const std::vector<std::string>& inLines, std::size_t inNamed) {
    mOutput.Clear();
    if (mContext.GetShell().RunAsTyped(inLines, inNamed) == KRVCommandResult::kQuit) {
        mQuit = true;
    }
    mUnsaved = mContext.GetShell().HasUnsavedChanges();
    mDirty = true;
}

// A plain line input: text, Backspace, Ctrl-U, Tab completion, the up and
// down arrows through what was typed before; Enter runs, Esc gives up.
bool KRVLiveView::OnCommandLineKey(int inKey) {
    switch (inKey) {
        case kEscape:
            mEditing = false;
            return true;
        case '\r':
        case '\n':
        case KEY_ENTER: {
            mEditing = false;
            if (mLine.find_first_not_of(' ') != std::string::npos) {
                mTyped.push_back(mLine);
                RunLines({mLine}, 0);
            }
            return !mQuit;
        }
        case KEY_BACKSPACE:
        case 127:
        case '\b':
            // A UTF-8 character goes whole.
            while (!mLine.empty() && (static_cast<unsigned char>(mLine.back()) & 0xC0) == 0x80) {
                mLine.pop_back();
            }
            if (!mLine.empty()) {
                mLine.pop_back();
            }
            return true;
        case kControlU:
            mLine.clear();
            return true;
        case '\t':
            Complete();
            return true;
        case KEY_UP:
        case KEY_DOWN:
            RecallLine(inKey == KEY_UP ? -1 : 1);
            return true;
        default:
            if (inKey >= ' ' && inKey < 256 && inKey != 127) {
                mLine += static_cast<char>(inKey);
            }
            return true;
    }
}

// The common start of what could follow; the candidates, when there are
// several, where the output shows.
void KRVLiveView::Complete() {
    const std::vector<std::string> candidates = KRVCompleter::Complete(mLine);
    if (candidates.empty()) {
        return;
    }
    std::string common = candidates.front();
    for (const std::string& candidate : candidates) {
        std::size_t same = 0;
        while (same < common.size() && same < candidate.size() && common[same] == candidate[same]) {
            same++;
        }
        common.resize(same);
    }
    const std::string typed = KRVCompleter::GetTypedWord(mLine);
    if (common.size() >= typed.size()) {
        mLine.resize(mLine.size() - typed.size());
        mLine += common;
    }
    if (candidates.size() == 1) {
        mLine += ' ';
        return;
    }
    mOutput.Clear();
    std::string list;
    for (const std::string& candidate : candidates) {
        list += candidate + " ";
    }
    mOutput.Write((list + "\n").c_str());
}

void KRVLiveView::RecallLine(int inStep) {
    if (mTyped.empty()) {
        return;
    }
    const long recalled = static_cast<long>(mRecalled) + inStep;
    mRecalled =
        static_cast<std::size_t>(std::clamp(recalled, 0L, static_cast<long>(mTyped.size())));
    mLine = mRecalled < mTyped.size() ? mTyped[mRecalled] : std::string();
}

// The answer typed, as a line of the console is handed over.
int KRVLiveView::ReadAnswerLine(char* outBuffer, int inBufferLength) const {
    if (mLine.size() >= static_cast<std::size_t>(inBufferLength)) {
        return KRVLineLimit::kTooLong;
    }
    std::memcpy(outBuffer, mLine.c_str(), mLine.size() + 1);
    return static_cast<int>(mLine.size());
}

// A question a command asks: its text on the command line, and the view
// goes on drawing while the answer is typed. Esc, Ctrl-C and the signals
// end it as a no.
int KRVLiveView::Ask(char* outBuffer, int inBufferLength) {
    const std::string& text = mOutput.GetText();
    const std::size_t newline = text.rfind('\n');
    mQuestion = newline == std::string::npos ? text : text.substr(newline + 1);
    mEditing = true;
    mLine.clear();
    mDirty = true;
    int length = KRVShellInterface::kInterrupted;
    while (!KRVSignals::IsPending()) {
        DrawIfChanged();
        const int key = wgetch(stdscr);
        if (key == ERR) {
            continue;
        }
        mDirty = true;
        if (key == kEscape) {
            break;
        }
        if (key == '\r' || key == '\n' || key == KEY_ENTER) {
            length = ReadAnswerLine(outBuffer, inBufferLength);
            break;
        }
        OnCommandLineKey(key);
    }
    // An empty answer is asked again, under the same question.
    if (length != 0) {
        mOutput.Write((mLine + "\n").c_str());
    }
    mQuestion.clear();
    mEditing = false;
    mLine.clear();
    return length;
}
