#include "KRVSelectionSetNote.h"

#include "KRVSequencer.h"

void KRVSelectionSetNote::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetNote(inTrack1, inStep1, mNote);
}
