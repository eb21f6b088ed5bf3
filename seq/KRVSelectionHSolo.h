#pragma once

#include "KRVSelectionAction.h"

// Solos the event within its track; the track's solo count rises only once
// however often the event is soloed.
class KRVSelectionHSolo : public KRVSelectionAction {
public:
    KRVSelectionHSolo() = default;
    ~KRVSelectionHSolo() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
