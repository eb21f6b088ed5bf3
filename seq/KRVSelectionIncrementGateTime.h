#pragma once

#include "KRVSelectionAction.h"

// Moves the event's gate time (1 to 90: an increment never silences a note) by a signed delta.
// A sum outside the range leaves the event as it is: no clamping, no wrapping,
// so repeated steps stop at the edge instead of folding values together.
class KRVSelectionIncrementGateTime : public KRVSelectionAction {
public:
    explicit KRVSelectionIncrementGateTime(int inDelta) : mDelta(inDelta) {}
    ~KRVSelectionIncrementGateTime() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mDelta;
};
