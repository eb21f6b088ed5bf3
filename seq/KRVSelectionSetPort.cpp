#include "KRVSelectionSetPort.h"

#include "KRVSequencer.h"

void KRVSelectionSetPort::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetPort(inTrack1, inStep1, mPort);
}
