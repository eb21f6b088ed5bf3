#include "KRVSelectionChangeNote.h"

#include "KRVSequencer.h"

void KRVSelectionChangeNote::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    if (inSequencer->GetEvent(inTrack1, inStep1).GetNote() == mFromNote) {
        inSequencer->SetNote(inTrack1, inStep1, mToNote);
    }
}
