// Capturing the sequencer's state and putting one back, for undo and for
// telling unsaved changes. Every restore goes through RestoreState.
#include "MIDICLClock.h"
#include "model/KRVSequencer.h"
#include "model/KRVSequencerState.h"

namespace {

using State = KRVSequencerState;

static_assert(std::tuple_size_v<decltype(State::TrackImage::mEvents)> == KRVTrack::kMaxSteps,
              "an image holds every event of a track");

// Among the neighbour's tracks at inIndex and either side of it (a track
// added or deleted shifts the rest by one), the image equal to inImage.
std::shared_ptr<const State::TrackImage> FindShared(const State* inNeighbour, std::size_t inIndex,
                                                    const State::TrackImage& inImage) {
    if (inNeighbour == nullptr) {
        return nullptr;
    }
    const auto& tracks = inNeighbour->mTracks;
    for (std::size_t index : {inIndex, inIndex - 1, inIndex + 1}) {
        if (index < tracks.size() && *tracks[index] == inImage) {
            return tracks[index];
        }
    }
    return nullptr;
}

}  // namespace

KRVSequencerState::PackedEvent KRVSequencer::PackEvent(const KRVEvent& inEvent) {
    State::PackedEvent packed;
    packed.mNote = inEvent.mNote;
    packed.mVelocity = inEvent.mVelocity;
    packed.mGateTime = inEvent.mGateTime;
    packed.mPort = inEvent.mPort;
    packed.mChance = inEvent.mChance;
    packed.mRatchetAndTie =
        static_cast<std::uint8_t>(inEvent.mRatchet | (inEvent.mTied ? State::kTied : 0));
    packed.mLength = inEvent.mLength;
    packed.mChannelAndMarks = static_cast<std::uint8_t>(
        (inEvent.mChannel & 0x0F) | (inEvent.mMuted ? State::kMuted : 0) |
        (inEvent.mHSoloed ? State::kHSoloed : 0) | (inEvent.mVSoloed ? State::kVSoloed : 0) |
        (inEvent.mSelected ? State::kSelected : 0));
    return packed;
}

void KRVSequencer::UnpackEvent(const KRVSequencerState::PackedEvent& inPacked, KRVEvent* outEvent) {
    outEvent->mNote = inPacked.mNote;
    outEvent->mVelocity = inPacked.mVelocity;
    outEvent->mGateTime = inPacked.mGateTime;
    outEvent->mPort = inPacked.mPort;
    outEvent->mChance = inPacked.mChance;
    outEvent->mRatchet = static_cast<std::uint8_t>(inPacked.mRatchetAndTie & ~State::kTied);
    outEvent->mTied = (inPacked.mRatchetAndTie & State::kTied) != 0;
    outEvent->mLength = inPacked.mLength;
    outEvent->mChannel = static_cast<std::uint8_t>(inPacked.mChannelAndMarks & 0x0F);
    outEvent->mMuted = (inPacked.mChannelAndMarks & State::kMuted) != 0;
    outEvent->mHSoloed = (inPacked.mChannelAndMarks & State::kHSoloed) != 0;
    outEvent->mVSoloed = (inPacked.mChannelAndMarks & State::kVSoloed) != 0;
    outEvent->mSelected = (inPacked.mChannelAndMarks & State::kSelected) != 0;
}

KRVSequencerState KRVSequencer::CaptureState(const KRVSequencerState* inNeighbour) const {
    State state;
    state.mTicksInSequence = mTicksInSequence;
    state.mTicksPerStep = mTicksPerStep;
    state.mTicksInLoop = mTicksInLoop;
    state.mBPM = mBPM;
    state.mSwing = mSwing;
    for (int step0 = 0; step0 < kMaxSteps; step0++) {
        if (mVSoloed[step0]) {
            state.mVSoloedSteps |= std::uint64_t{1} << step0;
        }
    }
    state.mTracks.reserve(mTracks.size());
    for (std::size_t index = 0; index < mTracks.size(); index++) {
        state.mTracks.push_back(GetImage(*mTracks[index], inNeighbour, index));
    }
    if (inNeighbour != nullptr && inNeighbour->mChannelNames != nullptr &&
        *inNeighbour->mChannelNames == mChannelNames) {
        state.mChannelNames = inNeighbour->mChannelNames;
    } else {
        state.mChannelNames = std::make_shared<const State::ChannelNames>(mChannelNames);
    }
    if (inNeighbour != nullptr && inNeighbour->mPrograms != nullptr &&
        inNeighbour->mPrograms->HasSamePrograms(mPrograms)) {
        state.mPrograms = inNeighbour->mPrograms;
    } else {
        state.mPrograms = std::make_shared<const KRVPrograms>(mPrograms);
    }
    state.mPortTiming = mPortTiming;
    return state;
}

// The track's image while it is unchanged since the last capture; else a
// new one, or the neighbour's where it holds the same (an edit undone by
// hand).
std::shared_ptr<const KRVSequencerState::TrackImage> KRVSequencer::GetImage(
    const KRVTrack& inTrack, const KRVSequencerState* inNeighbour, std::size_t inIndex) {
    if (inTrack.mImage != nullptr && inTrack.mImageEdits == inTrack.mEdits) {
        return inTrack.mImage;
    }
    State::TrackImage image;
    image.mMuted = inTrack.mMuted;
    image.mSwing = inTrack.mSwing;
    image.mLegato = inTrack.mLegato;
    for (int step0 = 0; step0 < KRVTrack::kMaxSteps; step0++) {
        image.mEvents[step0] = PackEvent(inTrack.mEvents[step0]);
    }
    auto shared = FindShared(inNeighbour, inIndex, image);
    inTrack.mImage = shared != nullptr ? shared : std::make_shared<const State::TrackImage>(image);
    inTrack.mImageEdits = inTrack.mEdits;
    return inTrack.mImage;
}

std::unique_ptr<KRVTrack> KRVSequencer::MakeTrack(
    const std::shared_ptr<const KRVSequencerState::TrackImage>& inImage) {
    auto track = std::make_unique<KRVTrack>();
    track->mImage = inImage;
    track->mMuted = inImage->mMuted;
    track->mSwing = inImage->mSwing;
    track->mLegato = inImage->mLegato;
    for (int step0 = 0; step0 < KRVTrack::kMaxSteps; step0++) {
        KRVEvent& event = track->mEvents[step0];
        UnpackEvent(inImage->mEvents[step0], &event);
        track->mHSoloCount = track->mHSoloCount + (event.mHSoloed ? 1 : 0);
    }
    return track;
}

// The new tracks are built before the clock is held up, and the old ones go
// after it runs again: the tick waits only for the exchange. What sounds is
// ended first, as when a track is deleted; the next tick plays the state put
// back, from where the clock stands.
void KRVSequencer::RestoreState(const KRVSequencerState& inState) {
    std::vector<std::unique_ptr<KRVTrack>> tracks;
    tracks.reserve(inState.mTracks.size());
    for (const auto& image : inState.mTracks) {
        tracks.push_back(MakeTrack(image));
    }
    {
        KRVBusyClaim claim(mSequencerIsBusy);
        std::uint64_t now = GetClock().Now();
        for (auto& track : mTracks) {
            EndSoundingNote(*track, now);
        }
        mTracks.swap(tracks);
        mTicksInSequence = inState.mTicksInSequence;
        mTicksPerStep = inState.mTicksPerStep;
        mTicksInLoop = inState.mTicksInLoop;
        mSwing = inState.mSwing;
        for (int step0 = 0; step0 < kMaxSteps; step0++) {
            mVSoloed[step0] = ((inState.mVSoloedSteps >> step0) & 1) != 0;
        }
        // Programs put back go out with the next tick, as when set.
        mPrograms = *inState.mPrograms;
        mPrograms.MarkAllPending();
        // A port whose clock is turned off here sends its Stop next tick.
        mPortTiming = inState.mPortTiming;
    }
    tracks.clear();
    // The tracks were replaced whole, their selections with them.
    RebuildSelectionIndex();
    mChannelNames = *inState.mChannelNames;
    if (mBPM != inState.mBPM) {
        SetBPM(inState.mBPM);
    }
    FireStateRestoredActions();
}

// Listeners hear of a restore as of the changes it may have made.
void KRVSequencer::FireStateRestoredActions() {
    FireScaleChangedAction();
    FireLoopChangedAction();
    FireConfigChangedAction();
    for (int track0 = 0; track0 < GetTrackCount(); track0++) {
        FireTrackChangedAction(track0);
    }
}
