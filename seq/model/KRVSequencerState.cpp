#include "model/KRVSequencerState.h"

namespace {

// What the heap adds to each block we hold: its header, and the count of a
// shared pointer's control block or a map node's links.
constexpr std::size_t kBlockOverhead = 64;

}  // namespace

bool KRVSequencerState::HasSameSequence(const KRVSequencerState& inOther) const {
    if (mTicksInSequence != inOther.mTicksInSequence || mTicksPerStep != inOther.mTicksPerStep ||
        mTicksInLoop != inOther.mTicksInLoop || mVSoloedSteps != inOther.mVSoloedSteps ||
        mBPM != inOther.mBPM || mSwing != inOther.mSwing ||
        mTracks.size() != inOther.mTracks.size()) {
        return false;
    }
    // Captured states share unchanged images, so most compare as pointers.
    for (std::size_t i = 0; i < mTracks.size(); i++) {
        if (mTracks[i] != inOther.mTracks[i] && !(*mTracks[i] == *inOther.mTracks[i])) {
            return false;
        }
    }
    return true;
}

bool KRVSequencerState::HasSameChannelNames(const KRVSequencerState& inOther) const {
    return mChannelNames == inOther.mChannelNames ||
           (mChannelNames != nullptr && inOther.mChannelNames != nullptr &&
            *mChannelNames == *inOther.mChannelNames);
}

bool KRVSequencerState::HasSamePrograms(const KRVSequencerState& inOther) const {
    return mPortTiming == inOther.mPortTiming &&
           (mPrograms == inOther.mPrograms ||
            (mPrograms != nullptr && inOther.mPrograms != nullptr &&
             mPrograms->HasSamePrograms(*inOther.mPrograms)));
}

std::size_t KRVSequencerState::GetImageBytes() {
    return sizeof(TrackImage) + kBlockOverhead;
}

std::size_t KRVSequencerState::GetNamesBytes() const {
    std::size_t bytes = sizeof(ChannelNames) + kBlockOverhead;
    if (mChannelNames != nullptr) {
        for (const auto& entry : *mChannelNames) {
            bytes += sizeof(entry) + entry.second.capacity() + kBlockOverhead;
        }
    }
    return bytes;
}

std::size_t KRVSequencerState::GetProgramsBytes() const {
    return mPrograms != nullptr ? sizeof(KRVPrograms) + mPrograms->GetBytes() + 2 * kBlockOverhead
                                : 0;
}

std::size_t KRVSequencerState::GetOwnBytes() const {
    return sizeof(KRVSequencerState) + mTracks.capacity() * sizeof(mTracks[0]) +
           mPortTiming.GetBytes() + 2 * kBlockOverhead;
}
