#pragma once

#include "KRVSelectionAction.h"

// Gives the event a velocity; the sequencer stores at most 127.
class KRVSelectionSetVelocity : public KRVSelectionAction {
public:
    explicit KRVSelectionSetVelocity(unsigned char inVelocity) : mVelocity(inVelocity) {}
    ~KRVSelectionSetVelocity() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const unsigned char mVelocity;
};
