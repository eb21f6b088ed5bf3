#pragma once

#include "KRVSelectionAction.h"

// Moves the event's channel (1 to 16) by a signed delta.
// A sum outside the range leaves the event as it is: no clamping, no wrapping,
// so repeated steps stop at the edge instead of folding values together.
class KRVSelectionIncrementChannel : public KRVSelectionAction {
public:
    explicit KRVSelectionIncrementChannel(int inDelta) : mDelta(inDelta) {}
    ~KRVSelectionIncrementChannel() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mDelta;
};
