// The sequencer on a shared transport: its modes, the transport commands,
// and the runs the follower's thread plays (KRVTransportFollow).
#include "MIDICLOutputPort.h"
#include "model/KRVSequencer.h"
#include "playback/KRVTransportFollow.h"

// The new follower is made, and leads, before the old one goes: a lead
// refused leaves the mode as it was.
KRVSequencer::TransportResult KRVSequencer::SetTransportMode(TransportMode inMode) {
    if (inMode == TransportMode::kOff && mTransportMode == TransportMode::kOff) {
        return TransportResult::kDone;
    }
    std::unique_ptr<KRVTransportFollower> follower;
    if (inMode != TransportMode::kOff) {
        std::shared_ptr<MIDICLTransport> transport;
        for (MIDICLOutputPort* port : mOutputPorts) {
            transport = transport != nullptr || port == nullptr ? transport : port->GetTransport();
        }
        if (transport == nullptr) {
            return TransportResult::kNoTransport;
        }
        // The same mode again changes nothing, unless the ports have moved
        // to a server that came back: then it follows the new one.
        if (inMode == mTransportMode && transport.get() == &mFollower->GetTransport()) {
            return TransportResult::kDone;
        }
        follower = std::make_unique<KRVTransportFollower>(*this, transport, GetClock());
        if (inMode == TransportMode::kLead && !follower->Lead()) {
            return TransportResult::kTaken;
        }
    }
    if (mTimerStarted) {
        Stop();
    }
    mFollower.reset();
    mTransportMode = TransportMode::kOff;
    // No port sends early on the transport: its frames say when.
    mEarlyUnits = 0;
    if (follower != nullptr && follower->Start() != 0) {
        return TransportResult::kNoThread;
    }
    mFollower = std::move(follower);
    mTransportMode = inMode;
    mTransportStopAsked = false;
    return TransportResult::kDone;
}

double KRVSequencer::GetTransportBPM() const {
    return mFollower != nullptr ? mFollower->GetMasterBPM() : 0;
}

int KRVSequencer::PlayTransport() {
    mTransportStopAsked = false;
    mFollower->GetTransport().Start();
    return 0;
}

void KRVSequencer::StopTransport() {
    mFollower->GetTransport().Stop();
    mTransportStopAsked = true;
}

// As a reset of the own clock, refused while playing.
void KRVSequencer::ResetTransport() {
    if (!IsPlaying() || mTransportStopAsked) {
        mFollower->GetTransport().Locate(0);
    }
}

// From the top the chance draws start over, as after a reset, and a port
// that sends clock says Start; elsewhere Song Position and Continue.
void KRVSequencer::BeginTransportRun(std::int64_t inTick) {
    KRVBusyClaim claim(mSequencerIsBusy);
    mFromTop = inTick == 0;
    if (inTick == 0) {
        mChanceDraw.Seed();
    }
    mPrograms.MarkAllPending();
    mTicksPlayed = 0;
    mTransportRolling = true;
}

// The tick lands where the transport's count puts it in the loop, step 1
// on every bar line of a loop of whole bars.
void KRVSequencer::TransportTick(std::int64_t inTick, std::uint64_t inDueTime) {
    const int loop = mTicksInLoop;
    mTicks = loop > 0 ? static_cast<int>((inTick % loop + loop) % loop) - 1 : -1;
    TimerTick(inDueTime);
}

void KRVSequencer::EndTransportRun() {
    SendAllNotesOff();
    mTransportRolling = false;
}
