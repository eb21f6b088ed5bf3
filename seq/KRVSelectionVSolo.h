#pragma once

#include "KRVSelectionAction.h"

// Makes the event the soloed one of its step. The walk goes track by track,
// so when several selected events share a step the last track keeps the solo.
class KRVSelectionVSolo : public KRVSelectionAction {
public:
    KRVSelectionVSolo() = default;
    ~KRVSelectionVSolo() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
