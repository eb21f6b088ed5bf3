#include "model/KRVTrack.h"

// Copy-constructed events carry no marks, so the new track has no h-solos
// and no selection.
KRVTrack::KRVTrack(const KRVTrack& inTrack)
    : mMuted(inTrack.mMuted.Load()),
      mSwing(inTrack.mSwing.Load()),
      mLegato(inTrack.mLegato.Load()),
      mHSoloCount(0) {
    for (int i = 0; i < kMaxSteps; i++) {
        mEvents[i] = inTrack.mEvents[i];
    }
}

// Assigned events keep their own marks, so the target keeps its h-solo count.
KRVTrack& KRVTrack::operator=(const KRVTrack& inTrack) {
    if (this == &inTrack) {
        return *this;
    }
    mMuted = inTrack.mMuted.Load();
    mSwing = inTrack.mSwing.Load();
    mLegato = inTrack.mLegato.Load();
    for (int i = 0; i < kMaxSteps; i++) {
        mEvents[i] = inTrack.mEvents[i];
    }
    // The content changed, whoever assigned it: the captured image is old.
    mEdits++;
    return *this;
}

void KRVTrack::HSolo(int inStep) {
    KRVEvent& event = GetEvent(inStep);
    if (!event.mHSoloed) {
        event.mHSoloed = true;
        mHSoloCount = mHSoloCount + 1;
    }
}

void KRVTrack::HUnSolo(int inStep) {
    KRVEvent& event = GetEvent(inStep);
    if (event.mHSoloed) {
        event.mHSoloed = false;
        mHSoloCount = mHSoloCount - 1;
    }
}

void KRVTrack::SetSelected(int inStep, bool inSelected) {
    GetEvent(inStep).mSelected = inSelected;
    const std::uint64_t bit = std::uint64_t(1) << (inStep - 1);
    mSelectedSteps = inSelected ? (mSelectedSteps | bit) : (mSelectedSteps & ~bit);
}

void KRVTrack::RecountSelected() {
    mSelectedSteps = 0;
    for (int i = 0; i < kMaxSteps; i++) {
        if (mEvents[i].mSelected) {
            mSelectedSteps |= std::uint64_t(1) << i;
        }
    }
}
