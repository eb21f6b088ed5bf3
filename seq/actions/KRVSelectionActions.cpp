#include "actions/KRVSelectionActions.h"

#include <algorithm>
#include <cstdlib>

#include "model/KRVRandomDraw.h"
#include "model/KRVSequencer.h"

// ---- selection ----

void KRVSelectionClear::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->UnSelectEvent(inTrack1, inStep1);
}

// Step numbers are 1-based here, so the last step of each division counts.
void KRVSelectionSelectByClockDivision::Action(KRVSequencer* inSequencer, int inTrack1,
                                               int inStep1) {
    int stepsPerBar = inSequencer->GetStepCount() / std::max(inSequencer->GetBarCount(), 1);
    int stepsPerDivision = std::max(stepsPerBar / std::max(mDivision, 1), 1);
    if (inStep1 % stepsPerDivision == 0) {
        inSequencer->SelectEvent(inTrack1, inStep1);
    } else {
        inSequencer->UnSelectEvent(inTrack1, inStep1);
    }
}

void KRVSelectionSelectEvery::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    if (inStep1 >= mFirst1 && (inStep1 - mFirst1) % std::max(mEvery, 1) == 0) {
        inSequencer->SelectEvent(inTrack1, inStep1);
    } else {
        inSequencer->UnSelectEvent(inTrack1, inStep1);
    }
}

// ---- set one value ----

void KRVSelectionSetTie::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetTied(inTrack1, inStep1, mTied);
}

// ---- change one value into another ----

void KRVSelectionChangeNote::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    if (inSequencer->GetEvent(inTrack1, inStep1).GetNote() == mFromNote) {
        inSequencer->SetNote(inTrack1, inStep1, mToNote);
    }
}

void KRVSelectionChangeChannel::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    const KRVEvent& event = inSequencer->GetEvent(inTrack1, inStep1);
    if (mFromPort != kAnyPort && event.GetPort() != mFromPort) {
        return;
    }
    if (event.GetChannel() != mFromChannel) {
        return;
    }
    if (mToPort != kAnyPort) {
        inSequencer->SetPort(inTrack1, inStep1, mToPort);
    }
    inSequencer->SetChannel(inTrack1, inStep1, mToChannel);
}

// ---- move one value by a signed delta ----

// Wide arithmetic: a delta near the int limits must not overflow.
bool KRVSelectionIncrement::Move(int inValue, int inLowest, int inHighest, int* outSum) const {
    long long sum = static_cast<long long>(inValue) + mDelta;
    if (sum < inLowest || sum > inHighest) {
        return false;
    }
    *outSum = static_cast<int>(sum);
    return true;
}

void KRVSelectionIncrementNote::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    int note = 0;
    if (Move(inSequencer->GetEvent(inTrack1, inStep1).GetNote(), 0, 127, &note)) {
        inSequencer->SetNote(inTrack1, inStep1, note);
    }
}

void KRVSelectionIncrementVelocity::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    int velocity = 0;
    if (Move(inSequencer->GetEvent(inTrack1, inStep1).GetVelocity(), 0, 127, &velocity)) {
        inSequencer->SetVelocity(inTrack1, inStep1, velocity);
    }
}

void KRVSelectionIncrementGateTime::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    int gate = 0;
    if (Move(inSequencer->GetEvent(inTrack1, inStep1).GetGateTime(), 1, 90, &gate)) {
        inSequencer->SetGateTime(inTrack1, inStep1, gate);
    }
}

void KRVSelectionIncrementChannel::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    int channel = 0;
    if (Move(inSequencer->GetEvent(inTrack1, inStep1).GetChannel(), 1, 16, &channel)) {
        inSequencer->SetChannel(inTrack1, inStep1, channel);
    }
}

void KRVSelectionIncrementPort::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    int port = 0;
    int lastPort = inSequencer->GetPortCount() - 1;
    if (Move(inSequencer->GetEvent(inTrack1, inStep1).GetPort(), 0, lastPort, &port)) {
        inSequencer->SetPort(inTrack1, inStep1, port);
    }
}

// ---- mute and solo marks ----

void KRVSelectionMute::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->Mute(inTrack1, inStep1);
}

void KRVSelectionUnMute::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->UnMute(inTrack1, inStep1);
}

void KRVSelectionInvertMute::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->InvertMute(inTrack1, inStep1);
}

void KRVSelectionHSolo::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->HSolo(inTrack1, inStep1);
}

void KRVSelectionHUnSolo::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->HUnSolo(inTrack1, inStep1);
}

void KRVSelectionVSolo::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->VSolo(inTrack1, inStep1);
}

void KRVSelectionVUnSolo::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->VUnSolo(inTrack1, inStep1);
}

// ---- random values ----

void KRVSelectionRandomMute::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetMute(inTrack1, inStep1, std::rand() % 2 == 1);
}

int KRVSelectionRandomise::Draw() const {
    return KRVDrawInSpan(mBase, mRange);
}

void KRVSelectionRandomiseNote::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetNote(inTrack1, inStep1, Draw());
}

void KRVSelectionRandomiseVelocity::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetVelocity(inTrack1, inStep1, Draw());
}

void KRVSelectionRandomiseGate::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetGateTime(inTrack1, inStep1, Draw());
}

void KRVSelectionRandomiseChannel::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetChannel(inTrack1, inStep1, Draw());
}

void KRVSelectionRandomisePort::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetPort(inTrack1, inStep1, Draw());
}

void KRVSelectionResetEvent::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    inSequencer->SetEvent(inTrack1, inStep1, KRVEvent());
    inSequencer->UnMute(inTrack1, inStep1);
    inSequencer->HUnSolo(inTrack1, inStep1);
    inSequencer->VUnSolo(inTrack1, inStep1);
}
