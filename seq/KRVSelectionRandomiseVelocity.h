#pragma once

#include "KRVSelectionAction.h"

// Gives the event a velocity drawn from inBase to inBase + inRange, both
// included; the sequencer's setter applies its own limits.
class KRVSelectionRandomiseVelocity : public KRVSelectionAction {
public:
    KRVSelectionRandomiseVelocity(int inBase, int inRange) : mBase(inBase), mRange(inRange) {}
    ~KRVSelectionRandomiseVelocity() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mBase;
    const int mRange;
};
