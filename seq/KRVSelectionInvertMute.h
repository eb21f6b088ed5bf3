#pragma once

#include "KRVSelectionAction.h"

// Toggles the event's mute mark, so running it twice restores the marks.
class KRVSelectionInvertMute : public KRVSelectionAction {
public:
    KRVSelectionInvertMute() = default;
    ~KRVSelectionInvertMute() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
