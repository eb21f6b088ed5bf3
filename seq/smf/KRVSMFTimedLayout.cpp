#include "smf/KRVSMFTimedLayout.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "smf/KRVSMFReader.h"
#include "smf/KRVSMFTimeMap.h"

namespace {
constexpr std::uint8_t kDrumChannel0 = 9;
constexpr int kMaxGate = 90;
}  // namespace

KRVSMFTimedLayout::KRVSMFTimedLayout(const KRVSMFTimeMap& inTimeMap, int inTicksPerStep,
                                     int inStepCount)
    : mTimeMap(inTimeMap), mTicksPerStep(inTicksPerStep), mStepCount(inStepCount) {}

std::vector<KRVSMFTimedLayout::Laid> KRVSMFTimedLayout::Lay(
    const std::vector<KRVSMFNote>& inNotes) {
    mDropped = 0;
    // Lanes in order of channel, then of drum; each holds its notes by step.
    std::map<int, Lane> lanes;
    for (const KRVSMFNote& note : inNotes) {
        Placed placed;
        if (!Place(note, &placed)) {
            mDropped++;
            continue;
        }
        Lane& lane = lanes[LaneOf(note)];
        lane.resize(KRVTrack::kMaxSteps);
        lane[placed.mStep0].push_back(placed);
    }
    std::vector<Laid> laid;
    for (auto& [key, lane] : lanes) {
        for (Laid& voice : MakeVoices(&lane)) {
            laid.push_back(std::move(voice));
        }
    }
    return laid;
}

// False for a note nearest a step beyond the last.
bool KRVSMFTimedLayout::Place(const KRVSMFNote& inNote, Placed* outPlaced) const {
    const double start = mTimeMap.ToSequencerTicks(inNote.mTick);
    const double step = std::floor(start / mTicksPerStep + 0.5);
    if (step >= mStepCount) {
        return false;
    }
    const double length = mTimeMap.ToSequencerTicks(inNote.mTick + inNote.mLength) - start;
    // Rounded up, so that the whole ticks the clock gives the gate hold the
    // note: a note krv exported comes back with the ticks it had. The
    // margin keeps a whole percent that arithmetic left a hair above it.
    const double gate = std::ceil(length * 100.0 / mTicksPerStep - 1e-9);
    outPlaced->mStep0 = static_cast<int>(step);
    outPlaced->mGate = static_cast<int>(std::clamp(gate, 1.0, static_cast<double>(kMaxGate)));
    outPlaced->mNote = &inNote;
    return true;
}

// A drum's lane is its channel and note; any other note's is its channel.
int KRVSMFTimedLayout::LaneOf(const KRVSMFNote& inNote) {
    return inNote.mChannel << 8 | (inNote.mChannel == kDrumChannel0 ? inNote.mNote : 0);
}

// A step's notes go lowest first onto the lane's first, second, ... track;
// notes of one pitch stay in file order.
std::vector<KRVSMFTimedLayout::Laid> KRVSMFTimedLayout::MakeVoices(Lane* ioLane) {
    std::size_t voices = 0;
    for (std::vector<Placed>& notes : *ioLane) {
        std::stable_sort(notes.begin(), notes.end(), [](const Placed& inA, const Placed& inB) {
            return inA.mNote->mNote < inB.mNote->mNote;
        });
        voices = std::max(voices, notes.size());
    }
    std::vector<Laid> laid;
    for (std::size_t voice = 0; voice < voices; voice++) {
        laid.push_back(MakeVoice(*ioLane, voice));
    }
    return laid;
}

KRVSMFTimedLayout::Laid KRVSMFTimedLayout::MakeVoice(const Lane& inLane, std::size_t inVoice) {
    Laid laid;
    const Placed* held = nullptr;
    for (const std::vector<Placed>& notes : inLane) {
        if (notes.size() > inVoice) {
            held = &notes[inVoice];
            break;
        }
    }
    for (int step0 = 0; step0 < KRVTrack::kMaxSteps; step0++) {
        const std::vector<Placed>& notes = inLane[step0];
        const bool played = notes.size() > inVoice;
        if (played) {
            held = &notes[inVoice];
            laid.mNoteCount++;
        } else {
            laid.mSilentSteps |= std::uint64_t{1} << step0;
        }
        KRVEvent& event = laid.mTrack.GetEvent(step0 + 1);
        event.mChannel = held->mNote->mChannel;
        event.mNote = held->mNote->mNote;
        event.mVelocity = held->mNote->mVelocity;
        event.mGateTime = static_cast<std::uint8_t>(held->mGate);
        event.mPort = 0;
    }
    return laid;
}
