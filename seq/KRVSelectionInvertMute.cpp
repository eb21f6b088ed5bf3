#include "KRVSelectionInvertMute.h"

#include "KRVSequencer.h"

void KRVSelectionInvertMute::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->InvertMute(inTrack1, inStep1);
}
