// The sequencer's side of MIDI input: where thru goes.
#include "MIDICLOutputPort.h"
#include "model/KRVSequencer.h"

void KRVSequencer::SetThruPort(MIDICLOutputPort* inPort) {
    mInput.SetThru(nullptr, 0);
    mThruPort.reset(inPort);
    RepointThru();
}

void KRVSequencer::SetInputTrack(int inTrack1) {
    mInputTrack = inTrack1;
    UpdateThru();
}

bool KRVSequencer::GetThruTarget(int& outPort, int& outChannel1) const {
    const bool hasTrack = mInputTrack >= 1 && mInputTrack <= GetTrackCount();
    const KRVEvent* first = hasTrack ? &GetEvent(mInputTrack, 1) : nullptr;
    outPort = mInputChoice.mThruPort != KRVInputChoice::kFollowTrack ? mInputChoice.mThruPort
              : first != nullptr                                     ? first->GetPort()
                                                                     : 0;
    outChannel1 = mInputChoice.mThruChannel != KRVInputChoice::kFollowTrack
                      ? mInputChoice.mThruChannel
                  : first != nullptr ? first->GetChannel()
                                     : 1;
    return mInputChoice.mThru && GetPort(outPort) != nullptr;
}

void KRVSequencer::RepointThru() {
    mThruDestination = MIDICLEndpointRef{};
    mThruChannel0 = -1;
    UpdateThru();
}

// The input lets go of the thru port while it is pointed elsewhere, and
// ends the notes thru left sounding where they were started.
void KRVSequencer::UpdateThru() {
    int port = 0;
    int channel1 = 1;
    const bool on = mThruPort != nullptr && GetThruTarget(port, channel1);
    const MIDICLEndpointRef destination =
        on ? GetPort(port)->GetDestination() : MIDICLEndpointRef{};
    const int channel0 = on ? channel1 - 1 : -1;
    if (destination == mThruDestination && channel0 == mThruChannel0) {
        return;
    }
    mThruDestination = destination;
    mThruChannel0 = channel0;
    mInput.SetThru(on ? mThruPort.get() : nullptr, on ? channel0 : 0, destination);
}
