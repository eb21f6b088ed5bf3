#include "KRVSelectionRandomisePort.h"

#include "KRVRandomDraw.h"
#include "KRVSequencer.h"

void KRVSelectionRandomisePort::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetPort(inTrack1, inStep1, KRVDrawInSpan(mBase, mRange));
}
