#pragma once

#include "KRVSelectionAction.h"

// Gives the event a channel (1 to 16); the sequencer ignores any other value.
class KRVSelectionSetChannel : public KRVSelectionAction {
public:
    explicit KRVSelectionSetChannel(unsigned char inChannel) : mChannel(inChannel) {}
    ~KRVSelectionSetChannel() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const unsigned char mChannel;
};
