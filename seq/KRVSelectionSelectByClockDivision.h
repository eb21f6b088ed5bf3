#pragma once

#include "KRVSelectionAction.h"

// Narrows the selection to the steps that end a division of the bar (with
// 16 steps a bar and 4 divisions: steps 4, 8, 12 and 16). It never adds to
// the selection, since only selected events are visited.
//
// When a division is shorter than a step (4 steps a bar, 8 divisions) every
// step holds the end of a division, so every selected step stays selected.
class KRVSelectionSelectByClockDivision : public KRVSelectionAction {
public:
    explicit KRVSelectionSelectByClockDivision(int inDivision) : mDivision(inDivision) {}
    ~KRVSelectionSelectByClockDivision() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    // Divisions per bar.
    const int mDivision;
};
