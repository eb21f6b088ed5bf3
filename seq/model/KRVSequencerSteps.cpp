// Copy and paste of step ranges, and Euclidean mutes. Steps are 1-based
// here; only the command thread runs these, through the event setters.
#include "model/KRVEuclid.h"
#include "model/KRVSequencer.h"

std::vector<int> KRVSequencer::GetSelectedTracks1() const {
    std::vector<int> tracks1;
    for (const auto& [track0, step0] : GetSelectedEvents0()) {
        if (tracks1.empty() || tracks1.back() != track0 + 1) {
            tracks1.push_back(track0 + 1);
        }
    }
    return tracks1;
}

int KRVSequencer::CopySteps(int inFrom1, int inTo1) {
    std::vector<int> tracks1 = GetSelectedTracks1();
    if (tracks1.empty()) {
        for (int track1 = 1; track1 <= GetTrackCount(); track1++) {
            tracks1.push_back(track1);
        }
    }
    mCopiedSteps.clear();
    for (int track1 : tracks1) {
        std::vector<KRVEvent> contents;
        for (int step1 = inFrom1; step1 <= inTo1; step1++) {
            contents.emplace_back(GetEvent(track1, step1));
        }
        mCopiedSteps.emplace_back(track1, std::move(contents));
    }
    return static_cast<int>(tracks1.size());
}

int KRVSequencer::PasteSteps(int inAt1, int* outDropped) {
    int pasted = 0;
    *outDropped = 0;
    for (const auto& [track1, contents] : mCopiedSteps) {
        for (std::size_t index = 0; index < contents.size(); index++) {
            const int step1 = inAt1 + static_cast<int>(index);
            if (track1 > GetTrackCount() || step1 > GetStepCount()) {
                ++*outDropped;
                continue;
            }
            SetEvent(track1, step1, contents[index]);
            pasted++;
        }
    }
    return pasted;
}

// The loop's steps, a partial last one included, are what the rhythm
// spreads over.
int KRVSequencer::MuteEuclid(int inHits, int inRotation) {
    const int steps = GetLoopStep() - 1;
    const std::uint64_t hits = KRVEuclid(inHits, steps, inRotation);
    const std::vector<int> tracks1 = GetSelectedTracks1();
    for (int track1 : tracks1) {
        for (int step1 = 1; step1 <= steps; step1++) {
            SetMute(track1, step1, (hits >> (step1 - 1) & 1u) == 0);
        }
    }
    return static_cast<int>(tracks1.size());
}
