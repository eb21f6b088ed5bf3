#include "KRVSelectionRandomiseGate.h"

#include "KRVRandomDraw.h"
#include "KRVSequencer.h"

void KRVSelectionRandomiseGate::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetGateTime(inTrack1, inStep1, KRVDrawInSpan(mBase, mRange));
}
