#pragma once

#include "KRVSelectionAction.h"

// Mutes the event.
class KRVSelectionMute : public KRVSelectionAction {
public:
    KRVSelectionMute() = default;
    ~KRVSelectionMute() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
