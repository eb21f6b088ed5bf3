#include "KRVSelectionHSolo.h"

#include "KRVSequencer.h"

void KRVSelectionHSolo::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->HSolo(inTrack1, inStep1);
}
