#pragma once

#include "KRVSelectionAction.h"

// Moves the event's port (0 to the last port) by a signed delta.
// A sum outside the range leaves the event as it is: no clamping, no wrapping,
// so repeated steps stop at the edge instead of folding values together.
class KRVSelectionIncrementPort : public KRVSelectionAction {
public:
    explicit KRVSelectionIncrementPort(int inDelta) : mDelta(inDelta) {}
    ~KRVSelectionIncrementPort() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mDelta;
};
