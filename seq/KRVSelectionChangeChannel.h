#pragma once

#include "KRVSelectionAction.h"

// Moves events from one channel (and optionally one port) to another.
// Channels are 1-based, ports 0-based. kAnyPort as the from port matches
// every port; as the to port it leaves each event's port alone.
class KRVSelectionChangeChannel : public KRVSelectionAction {
public:
    static constexpr int kAnyPort = -1;

    KRVSelectionChangeChannel(int inFromPort, int inFromChannel, int inToPort, int inToChannel)
        : mFromChannel(inFromChannel),
          mFromPort(inFromPort),
          mToChannel(inToChannel),
          mToPort(inToPort) {}
    ~KRVSelectionChangeChannel() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mFromChannel;
    const int mFromPort;
    const int mToChannel;
    const int mToPort;
};
