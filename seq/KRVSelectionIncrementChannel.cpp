#include "KRVSelectionIncrementChannel.h"

#include "KRVSequencer.h"

void KRVSelectionIncrementChannel::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    // Wide arithmetic: a delta near the int limits must not overflow.
    long long sum =
        static_cast<long long>(inSequencer->GetEvent(inTrack1, inStep1).GetChannel()) + mDelta;
    if (sum >= 1 && sum <= 16) {
        inSequencer->SetChannel(inTrack1, inStep1, static_cast<int>(sum));
    }
}
