#include "KRVSelectionRandomMute.h"

#include <cstdlib>

#include "KRVSequencer.h"

void KRVSelectionRandomMute::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetMute(inTrack1, inStep1, std::rand() % 2 == 1);
}
