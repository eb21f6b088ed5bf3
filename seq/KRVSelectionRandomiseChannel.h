#pragma once

#include "KRVSelectionAction.h"

// Gives the event a channel (1-based) drawn from inBase to inBase + inRange, both
// included; the sequencer's setter applies its own limits.
class KRVSelectionRandomiseChannel : public KRVSelectionAction {
public:
    KRVSelectionRandomiseChannel(int inBase, int inRange) : mBase(inBase), mRange(inRange) {}
    ~KRVSelectionRandomiseChannel() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mBase;
    const int mRange;
};
