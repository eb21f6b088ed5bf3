#include "KRVSelectionSetVelocity.h"

#include "KRVSequencer.h"

void KRVSelectionSetVelocity::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetVelocity(inTrack1, inStep1, mVelocity);
}
