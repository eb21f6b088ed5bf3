#pragma once

#include "KRVSelectionAction.h"

// Gives the event a note drawn from inBase to inBase + inRange, both
// included; the sequencer's setter applies its own limits.
class KRVSelectionRandomiseNote : public KRVSelectionAction {
public:
    KRVSelectionRandomiseNote(int inBase, int inRange) : mBase(inBase), mRange(inRange) {}
    ~KRVSelectionRandomiseNote() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mBase;
    const int mRange;
};
