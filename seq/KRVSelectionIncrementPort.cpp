#include "KRVSelectionIncrementPort.h"

#include "KRVSequencer.h"

void KRVSelectionIncrementPort::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    // Wide arithmetic: a delta near the int limits must not overflow.
    long long sum =
        static_cast<long long>(inSequencer->GetEvent(inTrack1, inStep1).GetPort()) + mDelta;
    if (sum >= 0 && sum <= inSequencer->GetPortCount() - 1) {
        inSequencer->SetPort(inTrack1, inStep1, static_cast<int>(sum));
    }
}
