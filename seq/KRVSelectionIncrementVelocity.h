#pragma once

#include "KRVSelectionAction.h"

// Moves the event's velocity (0 to 127) by a signed delta.
// A sum outside the range leaves the event as it is: no clamping, no wrapping,
// so repeated steps stop at the edge instead of folding values together.
class KRVSelectionIncrementVelocity : public KRVSelectionAction {
public:
    explicit KRVSelectionIncrementVelocity(int inDelta) : mDelta(inDelta) {}
    ~KRVSelectionIncrementVelocity() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mDelta;
};
