#pragma once

#include "KRVSelectionAction.h"

// Ends the event's solo within its track.
class KRVSelectionHUnSolo : public KRVSelectionAction {
public:
    KRVSelectionHUnSolo() = default;
    ~KRVSelectionHUnSolo() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
