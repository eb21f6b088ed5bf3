#pragma once

#include "KRVSelectionAction.h"

// Takes the event out of the selection; the walk goes on safely because it
// reads each mark just before the visit.
class KRVSelectionClear : public KRVSelectionAction {
public:
    KRVSelectionClear() = default;
    ~KRVSelectionClear() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
