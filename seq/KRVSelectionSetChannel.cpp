#include "KRVSelectionSetChannel.h"

#include "KRVSequencer.h"

void KRVSelectionSetChannel::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetChannel(inTrack1, inStep1, mChannel);
}
