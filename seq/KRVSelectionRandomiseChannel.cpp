#include "KRVSelectionRandomiseChannel.h"

#include "KRVRandomDraw.h"
#include "KRVSequencer.h"

void KRVSelectionRandomiseChannel::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetChannel(inTrack1, inStep1, KRVDrawInSpan(mBase, mRange));
}
