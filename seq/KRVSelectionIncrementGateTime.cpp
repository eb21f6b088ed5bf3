#include "KRVSelectionIncrementGateTime.h"

#include "KRVSequencer.h"

void KRVSelectionIncrementGateTime::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    // Wide arithmetic: a delta near the int limits must not overflow.
    long long sum =
        static_cast<long long>(inSequencer->GetEvent(inTrack1, inStep1).GetGateTime()) + mDelta;
    if (sum >= 1 && sum <= 90) {
        inSequencer->SetGateTime(inTrack1, inStep1, static_cast<int>(sum));
    }
}
