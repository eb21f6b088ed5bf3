#include "KRVSelectionHUnSolo.h"

#include "KRVSequencer.h"

void KRVSelectionHUnSolo::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->HUnSolo(inTrack1, inStep1);
}
