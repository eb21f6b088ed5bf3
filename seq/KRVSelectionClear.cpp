#include "KRVSelectionClear.h"

#include "KRVSequencer.h"

void KRVSelectionClear::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->UnSelectEvent(inTrack1, inStep1);
}
