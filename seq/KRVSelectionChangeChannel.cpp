#include "KRVSelectionChangeChannel.h"

#include "KRVSequencer.h"

void KRVSelectionChangeChannel::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    const KRVEvent& event = inSequencer->GetEvent(inTrack1, inStep1);
    if (mFromPort != kAnyPort && event.GetPort() != mFromPort) {
        return;
    }
    if (event.GetChannel() != mFromChannel) {
        return;
    }
    if (mToPort != kAnyPort) {
        inSequencer->SetPort(inTrack1, inStep1, mToPort);
    }
    inSequencer->SetChannel(inTrack1, inStep1, mToChannel);
}
