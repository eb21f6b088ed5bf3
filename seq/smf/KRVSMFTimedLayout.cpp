#include "smf/KRVSMFTimedLayout.h"

#include <algorithm>
#include <array>
#include <bit>

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
    // and notes of one pitch in file order (the notes lie in file order, so
    // their addresses tell it: the sort needs no stability of its own).
    std::sort(mPlaced.begin(), mPlaced.end(), [](const Placed& inA, const Placed& inB) {
        if (inA.mLane != inB.mLane) {
            return inA.mLane < inB.mLane;
        }
        if (inA.mStep0 != inB.mStep0) {
            return inA.mStep0 < inB.mStep0;
        }
        if (inA.mNote->mNote != inB.mNote->mNote) {
            return inA.mNote->mNote < inB.mNote->mNote;
        }
        return inA.mNote < inB.mNote;
    });
    mLanes.clear();
    std::vector<Laid> laid;
    for (std::size_t begin = 0, end = 0; begin < mPlaced.size(); begin = end) {
        while (end < mPlaced.size() && mPlaced[end].mLane == mPlaced[begin].mLane) {
            end++;
        }
        AddLane(begin, end, &laid);
    }
    return laid;
}

// The lane's step with the most notes has as many voices; the n-th note of
// a step (lowest first) is the n-th voice's.
void KRVSMFTimedLayout::AddLane(std::size_t inBegin, std::size_t inEnd, std::vector<Laid>* ioLaid) {
    mVoiceSteps.clear();
    for (std::size_t at = inBegin, voice = 0; at < inEnd; at++) {
        voice = at > inBegin && mPlaced[at - 1].mStep0 == mPlaced[at].mStep0 ? voice + 1 : 0;
        if (voice == mVoiceSteps.size()) {
            mVoiceSteps.push_back(0);
        }
        mVoiceSteps[voice] |= std::uint64_t{1} << mPlaced[at].mStep0;
    }
    for (std::size_t voice = 0; voice < mVoiceSteps.size(); voice++) {
        Laid laid;
        laid.mSilentSteps = ~mVoiceSteps[voice];
        laid.mNoteCount = static_cast<std::uint64_t>(std::popcount(mVoiceSteps[voice]));
        laid.mLane = mLanes.size();
        laid.mVoice = voice;
        ioLaid->push_back(laid);
    }
    mLanes.push_back({inBegin, inEnd});
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
    const Lane& lane = mLanes[inVoice.mLane];
    std::array<const Placed*, KRVTrack::kMaxSteps> played{};
    const Placed* first = nullptr;
    for (std::size_t at = lane.mBegin, voice = 0; at < lane.mEnd; at++) {
        voice = at > lane.mBegin && mPlaced[at - 1].mStep0 == mPlaced[at].mStep0 ? voice + 1 : 0;
        if (voice == inVoice.mVoice) {
            played[static_cast<std::size_t>(mPlaced[at].mStep0)] = &mPlaced[at];
            first = first == nullptr ? &mPlaced[at] : first;
        }
    }
    const Placed* held = first;
    for (std::size_t step0 = 0; step0 < played.size(); step0++) {
        held = played[step0] != nullptr ? played[step0] : held;
        KRVEvent& event = outTrack->GetEvent(static_cast<int>(step0) + 1);
        event.mChannel = held->mNote->mChannel;
        event.mNote = held->mNote->mNote;
        event.mVelocity = held->mNote->mVelocity;
        event.mGateTime = static_cast<std::uint8_t>(held->mGate);
        event.mPort = 0;
    }
}
