#include "input/KRVStepEntry.h"

#include <algorithm>

#include "input/KRVVoiceTracks.h"
#include "model/KRVSequencer.h"

KRVStepEntry::KRVStepEntry(KRVSequencer& ioSequencer, int inTrack1, int inStep1)
    : mSequencer(ioSequencer), mTrack1(inTrack1), mStep1(inStep1) {}

bool KRVStepEntry::Press(int inNote, int inVelocity, double inSeconds, Chord* outChord) {
    if (!JoinsChord(inSeconds)) {
        if (IsPastLoop()) {
            return false;
        }
        mChord.clear();
        mChordStep1 = mStep1;
        mChordStart = inSeconds;
        MoveOn();
    }
    // The same key twice in one chord (a key that bounced) is one note.
    for (const Key& key : mChord) {
        if (key.mNote == inNote) {
            return false;
        }
    }
    mChord.push_back({inNote, inVelocity});
    std::stable_sort(mChord.begin(), mChord.end(),
                     [](const Key& inA, const Key& inB) { return inA.mNote < inB.mNote; });
    WriteChord(outChord);
    return !outChord->mNotes.empty();
}

bool KRVStepEntry::JoinsChord(double inSeconds) const {
    return mChordStep1 > 0 && inSeconds - mChordStart <= kChordSeconds && inSeconds >= mChordStart;
}

bool KRVStepEntry::Rest() {
    if (IsPastLoop()) {
        return false;
    }
    // A rest ends the chord before it.
    mChordStep1 = 0;
    MoveOn();
    return true;
}

bool KRVStepEntry::HasEnded(double inSeconds) const {
    return IsPastLoop() && (mChordStep1 == 0 || inSeconds - mChordStart > kChordSeconds);
}

// Within the loop, and within the steps the sequence shows.
void KRVStepEntry::MoveOn() {
    const int last1 = std::min(mSequencer.GetLoopStep() - 1, mSequencer.GetStepCount());
    mStep1 = mStep1 >= last1 ? 0 : mStep1 + 1;
}

// A key that finds no room for its track is left out, and so are the keys
// above it.
void KRVStepEntry::WriteChord(Chord* outChord) {
    outChord->mStep1 = mChordStep1;
    outChord->mTrack1 = mTrack1;
    outChord->mNotes.clear();
    for (std::size_t voice0 = 0; voice0 < mChord.size(); voice0++) {
        const int track1 = KRVVoiceTracks::GetTrack1(mSequencer, mTrack1, static_cast<int>(voice0));
        if (track1 == 0) {
            break;
        }
        KRVVoiceTracks::Write(mSequencer, track1, mChordStep1, mChord[voice0].mNote,
                              mChord[voice0].mVelocity, 0);
        outChord->mNotes.push_back(mChord[voice0].mNote);
    }
}
