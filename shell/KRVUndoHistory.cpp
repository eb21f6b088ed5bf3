#include "KRVUndoHistory.h"

#include <utility>

#include "model/KRVSequencer.h"

KRVUndoHistory::KRVUndoHistory(const KRVSequencer& inSequencer)
    : mPresent(inSequencer.CaptureState(nullptr)), mChangeCount(inSequencer.GetChangeCount()) {
    Hold(mPresent);
}

// Most commands change nothing (display, status, play): those cost no
// capture.
KRVUndoHistory::~KRVUndoHistory() {
    Drop(mPresent);
    for (const Step& step : mUndo) {
        Drop(step.mState);
    }
    for (const Step& step : mRedo) {
        Drop(step.mState);
    }
}

void KRVUndoHistory::Open(Label inLabel) {
    mOpen = true;
    mOpenLabel = std::move(inLabel);
}

bool KRVUndoHistory::Close(const KRVSequencer& inSequencer) {
    if (!mOpen) {
        return false;
    }
    mOpen = false;
    return Record(inSequencer, std::move(mOpenLabel));
}

bool KRVUndoHistory::Record(const KRVSequencer& inSequencer, Label inLabel) {
    if (mOpen || inSequencer.GetChangeCount() == mChangeCount) {
        return false;
    }
    mChangeCount = inSequencer.GetChangeCount();
    KRVSequencerState now = inSequencer.CaptureState(&mPresent);
    if (now == mPresent) {
        return false;
    }
    for (const Step& step : mRedo) {
        Drop(step.mState);
    }
    mRedo.clear();
    Hold(now);
    mUndo.push_back({std::move(mPresent), std::move(inLabel)});
    mPresent = std::move(now);
    KeepWithinBound();
    return true;
}

// The present state moves to the other side, under the label of the step
// that leads to it.
bool KRVUndoHistory::Undo(KRVSequencer& ioSequencer, Label* outLabel) {
    Close(ioSequencer);
    if (mUndo.empty()) {
        return false;
    }
    Step step = std::move(mUndo.back());
    mUndo.pop_back();
    ioSequencer.RestoreState(step.mState);
    mChangeCount = ioSequencer.GetChangeCount();
    *outLabel = step.mLabel;
    mRedo.push_back({std::move(mPresent), std::move(step.mLabel)});
    mPresent = std::move(step.mState);
    return true;
}

bool KRVUndoHistory::Redo(KRVSequencer& ioSequencer, Label* outLabel) {
    Close(ioSequencer);
    if (mRedo.empty()) {
        return false;
    }
    Step step = std::move(mRedo.back());
    mRedo.pop_back();
    ioSequencer.RestoreState(step.mState);
    mChangeCount = ioSequencer.GetChangeCount();
    *outLabel = step.mLabel;
    mUndo.push_back({std::move(mPresent), std::move(step.mLabel)});
    mPresent = std::move(step.mState);
    return true;
}

// New steps come only with no steps forward, so only steps back go.
void KRVUndoHistory::KeepWithinBound() {
    while (GetUndoCount() > kMaxSteps || (mBytes > kMaxBytes && GetUndoCount() > 1)) {
        Drop(mUndo.front().mState);
        mUndo.pop_front();
    }
}

void KRVUndoHistory::Hold(const KRVSequencerState& inState) {
    mBytes += inState.GetOwnBytes();
    for (const auto& image : inState.mTracks) {
        if (image->mHolders++ == 0) {
            mBytes += KRVSequencerState::GetImageBytes();
        }
    }
    HoldPiece(inState.mChannelNames.get(), inState.GetNamesBytes());
    HoldPiece(inState.mPrograms.get(), inState.GetProgramsBytes());
}

void KRVUndoHistory::Drop(const KRVSequencerState& inState) {
    mBytes -= inState.GetOwnBytes();
    for (const auto& image : inState.mTracks) {
        if (--image->mHolders == 0) {
            mBytes -= KRVSequencerState::GetImageBytes();
        }
    }
    DropPiece(inState.mChannelNames.get(), inState.GetNamesBytes());
    DropPiece(inState.mPrograms.get(), inState.GetProgramsBytes());
}

void KRVUndoHistory::HoldPiece(const void* inPiece, std::size_t inBytes) {
    if (mUses[inPiece]++ == 0) {
        mBytes += inBytes;
    }
}

void KRVUndoHistory::DropPiece(const void* inPiece, std::size_t inBytes) {
    auto found = mUses.find(inPiece);
    if (found != mUses.end() && --found->second == 0) {
        mUses.erase(found);
        mBytes -= inBytes;
    }
}
