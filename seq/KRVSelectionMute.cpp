#include "KRVSelectionMute.h"

#include "KRVSequencer.h"

void KRVSelectionMute::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->Mute(inTrack1, inStep1);
}
