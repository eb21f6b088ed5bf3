#pragma once

#include "KRVSelectionAction.h"

// Gives the event a gate time in percent drawn from inBase to inBase + inRange, both
// included; the sequencer's setter applies its own limits.
class KRVSelectionRandomiseGate : public KRVSelectionAction {
public:
    KRVSelectionRandomiseGate(int inBase, int inRange) : mBase(inBase), mRange(inRange) {}
    ~KRVSelectionRandomiseGate() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mBase;
    const int mRange;
};
