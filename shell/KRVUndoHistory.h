#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/KRVSequencerState.h"

class KRVSequencer;

// The steps undo and redo walk: the sequencer's state before each typed
// command that changed it, labelled with that command's history number and
// line. States share what they did not change (see KRVSequencerState), so a
// step costs what its command changed.
//
// Bound: at most kMaxSteps steps back, and all held states (steps back,
// steps forward and the present one) within kMaxBytes, counting each shared
// piece once. (Beyond it, the shell's two saved states and each track's
// image of its last capture hold at most three whole states more.) The oldest steps go first; the
// newest step back is kept even alone over the bound (one whole state: at most 1,024 tracks of 64
// events, about 0.4 MiB, and the channel names), so that the last command can always be undone. 100
// steps that each change every event of 1,024 tracks take about 40 MiB, under the bound.
class KRVUndoHistory {
public:
    static constexpr int kMaxSteps = 100;
    static constexpr std::size_t kMaxBytes = 64u << 20;

    struct Label {
        int mNumber = 0;
        std::string mLine;
    };

    // The sequencer's state now is the present one; nothing to undo.
    explicit KRVUndoHistory(const KRVSequencer& inSequencer);
    // Lets go of every state, so that the images' counts of holders are
    // right for the next history that shares them.
    ~KRVUndoHistory();
    KRVUndoHistory(const KRVUndoHistory&) = delete;
    KRVUndoHistory& operator=(const KRVUndoHistory&) = delete;

    // After a typed command: when the state has changed, the one before
    // becomes a step back labelled inLabel, and the steps forward go.
    // True when a step was taken.
    bool Record(const KRVSequencer& inSequencer, Label inLabel);
    // A take played in from a keyboard (step entry, a recording) is one
    // step, however many keys and commands it spans: from Open on, Record
    // takes none, and Close takes the one, labelled with the line that
    // opened it. Undo and redo close an open take first.
    void Open(Label inLabel);
    bool Close(const KRVSequencer& inSequencer);
    bool IsOpen() const { return mOpen; }
    // Puts back the state before the last step (after the next step
    // forward), and says which command that step was; false when there is
    // none.
    bool Undo(KRVSequencer& ioSequencer, Label* outLabel);
    bool Redo(KRVSequencer& ioSequencer, Label* outLabel);
    // The state after the last command, with whose pieces a new capture
    // shares.
    const KRVSequencerState& GetPresent() const { return mPresent; }

    int GetUndoCount() const { return static_cast<int>(mUndo.size()); }
    int GetRedoCount() const { return static_cast<int>(mRedo.size()); }
    std::size_t GetBytes() const { return mBytes; }

private:
    struct Step {
        KRVSequencerState mState;
        Label mLabel;
    };

    void Hold(const KRVSequencerState& inState);
    void Drop(const KRVSequencerState& inState);
    void HoldPiece(const void* inPiece, std::size_t inBytes);
    void DropPiece(const void* inPiece, std::size_t inBytes);
    void KeepWithinBound();

    KRVSequencerState mPresent;
    std::deque<Step> mUndo;
    std::vector<Step> mRedo;
    // How many held states use each channel-name map (track images count
    // their holders themselves).
    std::unordered_map<const void*, int> mUses;
    // The sequencer's change count when the present state was taken.
    std::uint64_t mChangeCount = 0;
    std::size_t mBytes = 0;
    bool mOpen = false;
    Label mOpenLabel;
};
