#include "KRVSelectionSetGateTime.h"

#include "KRVSequencer.h"

void KRVSelectionSetGateTime::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetGateTime(inTrack1, inStep1, mGateTime);
}
