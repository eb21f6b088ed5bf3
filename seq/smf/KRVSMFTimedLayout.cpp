#include "smf/KRVSMFTimedLayout.h"

#include <algorithm>

#include "model/KRVTimedPlacement.h"
#include "smf/KRVSMFReader.h"
#include "smf/KRVSMFTimeMap.h"

namespace {
constexpr std::uint8_t kDrumChannel0 = 9;
}  // namespace

KRVSMFTimedLayout::KRVSMFTimedLayout(const KRVSMFTimeMap& inTimeMap, int inTicksPerStep,
                                     int inStepCount)
    : mTimeMap(inTimeMap), mTicksPerStep(inTicksPerStep), mStepCount(inStepCount) {}

std::vector<KRVSMFTimedLayout::Laid> KRVSMFTimedLayout::Lay(
    const std::vector<KRVSMFNote>& inNotes) {
    mDropped = 0;
    mPlaced.clear();
    for (const KRVSMFNote& note : inNotes) {
        Placed placed;
        if (!Place(note, &placed)) {
            mDropped++;
            continue;
        }
        mPlaced.push_back(placed);
    }
    // Lanes in order of channel, then of drum; a step's notes lowest first,
    // and notes of one pitch in file order.
    std::stable_sort(mPlaced.begin(), mPlaced.end(), [](const Placed& inA, const Placed& inB) {
        if (inA.mLane != inB.mLane) {
            return inA.mLane < inB.mLane;
        }
        if (inA.mStep0 != inB.mStep0) {
            return inA.mStep0 < inB.mStep0;
        }
        return inA.mNote->mNote < inB.mNote->mNote;
    });
    IndexLanes();
    std::vector<Laid> laid;
    const std::size_t lanes = mStepStarts.size() / (KRVTrack::kMaxSteps + 1);
    for (std::size_t lane = 0; lane < lanes; lane++) {
        AddVoices(lane, &laid);
    }
    return laid;
}

// Each lane's run of mPlaced, cut at its steps.
void KRVSMFTimedLayout::IndexLanes() {
    mStepStarts.clear();
    std::size_t next = 0;
    while (next < mPlaced.size()) {
        const int lane = mPlaced[next].mLane;
        for (int step0 = 0; step0 <= KRVTrack::kMaxSteps; step0++) {
            while (next < mPlaced.size() && mPlaced[next].mLane == lane &&
                   mPlaced[next].mStep0 < step0) {
                next++;
            }
            mStepStarts.push_back(next);
        }
    }
}

// The lane's step with the most notes has as many voices.
void KRVSMFTimedLayout::AddVoices(std::size_t inLane, std::vector<Laid>* ioLaid) const {
    std::size_t voices = 0;
    for (int step0 = 0; step0 < KRVTrack::kMaxSteps; step0++) {
        voices = std::max(voices, StepNoteCount(inLane, step0));
    }
    for (std::size_t voice = 0; voice < voices; voice++) {
        Laid laid;
        laid.mLane = inLane;
        laid.mVoice = voice;
        for (int step0 = 0; step0 < KRVTrack::kMaxSteps; step0++) {
            if (StepNoteCount(inLane, step0) > voice) {
                laid.mNoteCount++;
            } else {
                laid.mSilentSteps |= std::uint64_t{1} << step0;
            }
        }
        ioLaid->push_back(laid);
    }
}

// False for a note nearest a step beyond the last.
bool KRVSMFTimedLayout::Place(const KRVSMFNote& inNote, Placed* outPlaced) const {
    const double start = mTimeMap.ToSequencerTicks(inNote.mTick);
    const int step0 = KRVTimedPlacement::NearestStep0(start, mTicksPerStep);
    if (step0 >= mStepCount) {
        return false;
    }
    const double length = mTimeMap.ToSequencerTicks(inNote.mTick + inNote.mLength) - start;
    outPlaced->mLane = LaneOf(inNote);
    outPlaced->mStep0 = step0;
    outPlaced->mGate = KRVTimedPlacement::GateOf(length, mTicksPerStep);
    outPlaced->mNote = &inNote;
    return true;
}

// A drum's lane is its channel and note; any other note's is its channel.
int KRVSMFTimedLayout::LaneOf(const KRVSMFNote& inNote) {
    return inNote.mChannel << 8 | (inNote.mChannel == kDrumChannel0 ? inNote.mNote : 0);
}

// A step's notes go lowest first onto the lane's first, second, ... voice.
// A step where the voice has no note holds its note before it, or its first.
void KRVSMFTimedLayout::MakeTrack(const Laid& inVoice, KRVTrack* outTrack) const {
    const Placed* held = nullptr;
    for (int step0 = 0; step0 < KRVTrack::kMaxSteps && held == nullptr; step0++) {
        if (StepNoteCount(inVoice.mLane, step0) > inVoice.mVoice) {
            held = &mPlaced[StepStart(inVoice.mLane, step0) + inVoice.mVoice];
        }
    }
    for (int step0 = 0; step0 < KRVTrack::kMaxSteps; step0++) {
        if (StepNoteCount(inVoice.mLane, step0) > inVoice.mVoice) {
            held = &mPlaced[StepStart(inVoice.mLane, step0) + inVoice.mVoice];
        }
        KRVEvent& event = outTrack->GetEvent(step0 + 1);
        event.mChannel = held->mNote->mChannel;
        event.mNote = held->mNote->mNote;
        event.mVelocity = held->mNote->mVelocity;
        event.mGateTime = static_cast<std::uint8_t>(held->mGate);
        event.mPort = 0;
    }
}
