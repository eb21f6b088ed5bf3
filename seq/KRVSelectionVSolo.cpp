#include "KRVSelectionVSolo.h"

#include "KRVSequencer.h"

void KRVSelectionVSolo::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->VSolo(inTrack1, inStep1);
}
