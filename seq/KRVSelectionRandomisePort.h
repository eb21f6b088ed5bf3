#pragma once

#include "KRVSelectionAction.h"

// Gives the event a output port (0-based) drawn from inBase to inBase + inRange, both
// included; the sequencer's setter applies its own limits.
class KRVSelectionRandomisePort : public KRVSelectionAction {
public:
    KRVSelectionRandomisePort(int inBase, int inRange) : mBase(inBase), mRange(inRange) {}
    ~KRVSelectionRandomisePort() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mBase;
    const int mRange;
};
