#pragma once

#include "KRVSelectionAction.h"

// Ends the event's solo within its step column.
class KRVSelectionVUnSolo : public KRVSelectionAction {
public:
    KRVSelectionVUnSolo() = default;
    ~KRVSelectionVUnSolo() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
