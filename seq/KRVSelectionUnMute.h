#pragma once

#include "KRVSelectionAction.h"

// Unmutes the event.
class KRVSelectionUnMute : public KRVSelectionAction {
public:
    KRVSelectionUnMute() = default;
    ~KRVSelectionUnMute() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
