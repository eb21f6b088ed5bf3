#include "KRVSelectionRandomiseVelocity.h"

#include "KRVRandomDraw.h"
#include "KRVSequencer.h"

void KRVSelectionRandomiseVelocity::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetVelocity(inTrack1, inStep1, KRVDrawInSpan(mBase, mRange));
}
