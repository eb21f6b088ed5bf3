#pragma once

#include "KRVSelectionAction.h"

// Gives the event a note; the sequencer stores at most 127.
class KRVSelectionSetNote : public KRVSelectionAction {
public:
    explicit KRVSelectionSetNote(unsigned char inNote) : mNote(inNote) {}
    ~KRVSelectionSetNote() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const unsigned char mNote;
};
