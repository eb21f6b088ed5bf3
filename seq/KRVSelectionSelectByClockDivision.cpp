#include "KRVSelectionSelectByClockDivision.h"

#include <algorithm>

#include "KRVSequencer.h"

void KRVSelectionSelectByClockDivision::Action(KRVSequencer* inSequencer, int inTrack1,
                                               int inStep1) {
    int stepsPerBar = inSequencer->GetStepCount() / std::max(inSequencer->GetBarCount(), 1);
    int stepsPerDivision = std::max(stepsPerBar / std::max(mDivision, 1), 1);
    // Step numbers are 1-based here, so the last step of each division counts.
    if (inStep1 % stepsPerDivision == 0) {
        inSequencer->SelectEvent(inTrack1, inStep1);
    } else {
        inSequencer->UnSelectEvent(inTrack1, inStep1);
    }
}
