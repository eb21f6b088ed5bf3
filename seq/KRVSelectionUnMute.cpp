#include "KRVSelectionUnMute.h"

#include "KRVSequencer.h"

void KRVSelectionUnMute::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->UnMute(inTrack1, inStep1);
}
