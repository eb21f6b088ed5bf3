#pragma once

#include "KRVSelectionAction.h"

// Gives the event an output port (0-based); a port the sequence does not have
// becomes its last port.
class KRVSelectionSetPort : public KRVSelectionAction {
public:
    explicit KRVSelectionSetPort(unsigned char inPort) : mPort(inPort) {}
    ~KRVSelectionSetPort() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const unsigned char mPort;
};
