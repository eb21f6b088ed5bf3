#include "KRVSelectionVUnSolo.h"

#include "KRVSequencer.h"

void KRVSelectionVUnSolo::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->VUnSolo(inTrack1, inStep1);
}
