#pragma once

#include "KRVSelectionAction.h"

// Moves the event's note (0 to 127) by a signed delta.
// A sum outside the range leaves the event as it is: no clamping, no wrapping,
// so repeated steps stop at the edge instead of folding values together.
class KRVSelectionIncrementNote : public KRVSelectionAction {
public:
    explicit KRVSelectionIncrementNote(int inDelta) : mDelta(inDelta) {}
    ~KRVSelectionIncrementNote() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mDelta;
};
