// Rotation and variation of the selection's content. Only content moves:
// copies carry content alone, and assigning one to a step keeps that step's
// selection, mute and solo marks (see KRVEvent).
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "model/KRVSequencer.h"

namespace {

// A selected step, 0-based so that it goes straight to SetEvent0.
struct KRVPosition {
    int mTrack0;
    int mStep0;
};

// The selected steps in walk order (tracks ascending, steps ascending), or
// in exactly the opposite order. Steps beyond the step count take no part.
std::vector<KRVPosition> SelectedPositions(const KRVSequencer& inSequencer, bool inReversed) {
    std::vector<KRVPosition> positions;
    for (const auto& [track0, step0] : inSequencer.GetSelectedEvents0()) {
        positions.push_back({track0, step0});
    }
    if (inReversed) {
        std::vector<KRVPosition> reversed(positions.rbegin(), positions.rend());
        positions = std::move(reversed);
    }
    return positions;
}

std::vector<KRVEvent> CopyContents(const KRVSequencer& inSequencer,
                                   const std::vector<KRVPosition>& inPositions) {
    std::vector<KRVEvent> contents;
    contents.reserve(inPositions.size());
    for (const KRVPosition& position : inPositions) {
        contents.emplace_back(inSequencer.GetEvent0(position.mTrack0, position.mStep0));
    }
    return contents;
}

// Moves every content inPlaces later along inPositions, the last ones
// wrapping round to the front. A shift of the whole length or more is no
// shift at all (it is not reduced modulo the length), yet every position is
// still written once so that listeners hear of each one. The writes start at
// the first position that receives a moved content and wrap round, the order
// in which a single pass with a queue would make them.
int RotateAlong(KRVSequencer& ioSequencer, const std::vector<KRVPosition>& inPositions,
                long long inPlaces) {
    std::vector<KRVEvent> contents = CopyContents(ioSequencer, inPositions);
    long long count = static_cast<long long>(inPositions.size());
    long long shift = inPlaces < count ? inPlaces : 0;
    for (long long written = 0; written < count; written++) {
        long long target = (shift + written) % count;
        const KRVPosition& position = inPositions[target];
        ioSequencer.SetEvent0(position.mTrack0, position.mStep0,
                              contents[(target - shift + count) % count]);
    }
    return static_cast<int>(count);
}

}  // namespace

int KRVSequencer::RotateSelectionForwards(int inRotateCount) {
    if (inRotateCount < 0) {
        return RotateSelectionBackwards(inRotateCount);
    }
    return RotateAlong(*this, SelectedPositions(*this, false), inRotateCount);
}

int KRVSequencer::RotateSelectionBackwards(int inRotateCount) {
    if (inRotateCount >= 0) {
        return RotateSelectionForwards(inRotateCount);
    }
    // Negated in 64 bits: the most negative int has no int magnitude.
    long long places = -static_cast<long long>(inRotateCount);
    return RotateAlong(*this, SelectedPositions(*this, true), places);
}

int KRVSequencer::VarySelection() {
    std::vector<KRVPosition> positions = SelectedPositions(*this, false);
    std::vector<KRVEvent> contents = CopyContents(*this, positions);
    // One draw per position, in walk order; each content is used once.
    for (const KRVPosition& position : positions) {
        std::size_t index = static_cast<unsigned>(std::rand()) % contents.size();
        SetEvent0(position.mTrack0, position.mStep0, contents[index]);
        contents.erase(contents.begin() + static_cast<std::ptrdiff_t>(index));
    }
    return static_cast<int>(positions.size());
}

int KRVSequencer::VarySelection2() {
    std::vector<KRVPosition> positions = SelectedPositions(*this, false);
    // The distinct notes in order of first appearance; the order matters
    // because it decides which note each draw picks.
    std::vector<std::uint8_t> notes;
    for (const KRVPosition& position : positions) {
        std::uint8_t note = GetEvent0(position.mTrack0, position.mStep0).GetNote();
        bool known = false;
        for (std::uint8_t seen : notes) {
            known = known || seen == note;
        }
        if (!known) {
            notes.push_back(note);
        }
    }
    // Drawn with replacement: a note may go to several steps or to none.
    for (const KRVPosition& position : positions) {
        std::size_t index = static_cast<unsigned>(std::rand()) % notes.size();
        SetNote(position.mTrack0 + 1, position.mStep0 + 1, notes[index]);
    }
    return static_cast<int>(positions.size());
}
