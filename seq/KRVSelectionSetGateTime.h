#pragma once

#include "KRVSelectionAction.h"

// Gives the event a gate time in percent; the sequencer stores at most 90.
class KRVSelectionSetGateTime : public KRVSelectionAction {
public:
    explicit KRVSelectionSetGateTime(unsigned char inGateTime) : mGateTime(inGateTime) {}
    ~KRVSelectionSetGateTime() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const unsigned char mGateTime;
};
