#include "KRVSelectionRandomiseNote.h"

#include "KRVRandomDraw.h"
#include "KRVSequencer.h"

void KRVSelectionRandomiseNote::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetNote(inTrack1, inStep1, KRVDrawInSpan(mBase, mRange));
}
