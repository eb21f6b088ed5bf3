#pragma once

#include "KRVSelectionAction.h"

// Mutes the event on an odd draw and unmutes it on an even one, whatever it
// was before.
class KRVSelectionRandomMute : public KRVSelectionAction {
public:
    KRVSelectionRandomMute() = default;
    ~KRVSelectionRandomMute() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
