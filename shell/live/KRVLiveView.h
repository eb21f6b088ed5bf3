#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands/KRVCommandTable.h"
#include "live/KRVLiveOutput.h"

class KRVCommandContext;
class KRVEvent;

// The live view: the grid on the whole terminal (its alternate screen), the
// playing step lit as the clock moves, a status line, and single keys that
// each run one command of the table as if typed, so that undo, unsaved
// changes and messages work as at the prompt. What the commands say shows in
// a few lines above the command line at the bottom.
//
// It draws on the command thread from what the sequencer's relaxed getters
// give, never under its busy flag: a terminal that stops reading stalls the
// drawing only, and once it reads again the view is drawn as it is then,
// the frames in between dropped. It polls for keys about 30 times a second
// and redraws only when something shown has changed.
class KRVLiveView : private KRVLiveOutput::Asker {
public:
    // Why the view cannot open on inTerminal, or null when it can: the
    // console must read and write a terminal that can draw.
    static const char* GetRefusal(KRVShellInterface::Terminal inTerminal);

    KRVLiveView(KRVCommandContext& ioContext, KRVShellInterface::Terminal inTerminal);
    // Until q, Esc, a `quit` typed on its command line (kQuit) or a
    // signal, which is left for the prompt to act on. The terminal is as it
    // was on every way out.
    KRVCommandResult Run();

private:
    // What the screen was last drawn from.
    struct Snapshot {
        bool mPlaying = false;
        int mStep1 = 0;
        std::uint64_t mChanges = 0;
        int mRows = 0;
        int mColumns = 0;
        bool operator==(const Snapshot&) const = default;
    };

    Snapshot TakeSnapshot() const;
    void FollowTerminalSize();
    void DrawIfChanged();
    void Draw();
    void DrawStatus();
    void DrawGrid(int inTop, int inRows);
    void MarkStep(int inTop, int inRows, int inFirst1, int inStep1);
    void DrawHelp(int inTop, int inRows);
    void DrawBottom();
    void KeepCursorInGrid();

    // What each key does; false when the key leaves the view.
    bool OnKey(int inKey);
    bool OnCommandLineKey(int inKey);
    void Complete();
    void RecallLine(int inStep);
    // The command for inKey, or none.
    std::vector<std::string> CommandsForKey(int inKey, std::size_t* outNamed) const;
    std::vector<std::string> CommandsForGrid(int inKey) const;
    std::vector<std::string> OnCursorEvent(const std::string& inCommand,
                                           std::size_t* outNamed) const;
    std::string CursorWords(bool inStepToo) const;
    const KRVEvent& GetCursorEvent() const;
    void RunLines(const std::vector<std::string>& inLines, std::size_t inNamed);

    int Ask(char* outBuffer, int inBufferLength) override;
    int ReadAnswerLine(char* outBuffer, int inBufferLength) const;

    KRVCommandContext& mContext;
    KRVShellInterface::Terminal mTerminal;
    KRVLiveOutput mOutput;
    Snapshot mDrawn;
    bool mDirty = true;
    // Colour (cursor) and reverse video (playing step), as the terminal and
    // NO_COLOR allow.
    bool mColour = false;
    bool mReverse = false;
    int mTrack1 = 1;
    int mStep1 = 1;
    // The first track shown.
    int mTopTrack1 = 1;
    bool mShowsHelp = false;
    bool mUnsaved = false;
    bool mQuit = false;
    // The command line: whether it is open, its text, the question it
    // answers (empty for a command), and the lines typed on it before.
    bool mEditing = false;
    std::string mLine;
    std::string mQuestion;
    std::vector<std::string> mTyped;
    std::size_t mRecalled = 0;
};
