#include "KRVSelectionIncrementNote.h"

#include "KRVSequencer.h"

void KRVSelectionIncrementNote::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    // Wide arithmetic: a delta near the int limits must not overflow.
    long long sum =
        static_cast<long long>(inSequencer->GetEvent(inTrack1, inStep1).GetNote()) + mDelta;
    if (sum >= 0 && sum <= 127) {
        inSequencer->SetNote(inTrack1, inStep1, static_cast<int>(sum));
    }
}
