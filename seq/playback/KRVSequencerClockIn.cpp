// The sequencer following a MIDI clock (KRVClockFollow).
#include "model/KRVSequencer.h"
#include "playback/KRVClockFollow.h"

// The old follower ends its run before the new one listens: two clocks
// never play the same ticks.
KRVSequencer::ClockInResult KRVSequencer::FollowClock(const KRVMIDIInput::PortMaker& inMakePort,
                                                      MIDICLEndpointRef inSource,
                                                      const std::string& inName) {
    if (mTransportMode != TransportMode::kOff) {
        return ClockInResult::kTransportOn;
    }
    StopFollowingClock();
    if (mTimerStarted) {
        Stop();
    }
    // No port sends early: the clock's arrival says when.
    mEarlyUnits = 0;
    auto follower = std::make_unique<KRVClockFollower>(*this, GetClock());
    if (follower->Start(inMakePort, inSource) != 0) {
        return ClockInResult::kNoThread;
    }
    mClockFollower = std::move(follower);
    mClockSourceName = inName;
    return ClockInResult::kDone;
}

void KRVSequencer::StopFollowingClock() {
    mClockFollower.reset();
    mClockSourceName.clear();
}

double KRVSequencer::GetClockBPM() const {
    return mClockFollower != nullptr ? mClockFollower->GetBPM() : 0;
}
