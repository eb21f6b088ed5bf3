#pragma once

#include "KRVSelectionAction.h"

// Replaces one note by another: only events holding inFromNote change.
class KRVSelectionChangeNote : public KRVSelectionAction {
public:
    KRVSelectionChangeNote(unsigned char inFromNote, unsigned char inToNote)
        : mFromNote(inFromNote), mToNote(inToNote) {}
    ~KRVSelectionChangeNote() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const unsigned char mFromNote;
    const unsigned char mToNote;
};
