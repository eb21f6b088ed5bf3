#include "actions/KRVSelectionFitToScale.h"

#include <strings.h>

#include <initializer_list>
#include <iterator>

#include "model/KRVSequencer.h"

namespace {

using PitchClasses = KRVSelectionFitToScale::PitchClasses;

constexpr PitchClasses Of(std::initializer_list<int> inSemitones) {
    PitchClasses set = 0;
    for (int semitone : inSemitones) {
        set = static_cast<PitchClasses>(set | (1u << semitone));
    }
    return set;
}

struct Scale {
    const char* mName;
    PitchClasses mPitchClasses;
};

constexpr PitchClasses kMajor = Of({0, 2, 4, 5, 7, 9, 11});
constexpr PitchClasses kMinor = Of({0, 2, 3, 5, 7, 8, 10});

// Semitones above the root. Two names for one scale are two rows.
constexpr Scale kScales[] = {
    {"major", kMajor},
    {"minor", kMinor},
    {"ionian", kMajor},
    {"dorian", Of({0, 2, 3, 5, 7, 9, 10})},
    {"phrygian", Of({0, 1, 3, 5, 7, 8, 10})},
    {"lydian", Of({0, 2, 4, 6, 7, 9, 11})},
    {"mixolydian", Of({0, 2, 4, 5, 7, 9, 10})},
    {"aeolian", kMinor},
    {"locrian", Of({0, 1, 3, 5, 6, 8, 10})},
    {"harmonic minor", Of({0, 2, 3, 5, 7, 8, 11})},
    // The ascending form, as it is usually meant.
    {"melodic minor", Of({0, 2, 3, 5, 7, 9, 11})},
    {"major pentatonic", Of({0, 2, 4, 7, 9})},
    {"minor pentatonic", Of({0, 3, 5, 7, 10})},
    {"blues", Of({0, 3, 5, 6, 7, 10})},
};

constexpr int kHighestNote = 127;

}  // namespace

int KRVSelectionFitToScale::GetScaleCount() {
    return static_cast<int>(std::size(kScales));
}

const char* KRVSelectionFitToScale::GetScaleName(int inScale) {
    return kScales[inScale].mName;
}

PitchClasses KRVSelectionFitToScale::GetPitchClasses(int inScale) {
    return kScales[inScale].mPitchClasses;
}

int KRVSelectionFitToScale::FindScale(const std::string& inName) {
    for (int scale = 0; scale < GetScaleCount(); scale++) {
        if (strcasecmp(inName.c_str(), kScales[scale].mName) == 0) {
            return scale;
        }
    }
    return -1;
}

PitchClasses KRVSelectionFitToScale::GetMajor() {
    return kMajor;
}

PitchClasses KRVSelectionFitToScale::GetMinor() {
    return kMinor;
}

bool KRVSelectionFitToScale::Holds(int inRoot, PitchClasses inPitchClasses, int inNote) {
    const int above = ((inNote - inRoot) % 12 + 12) % 12;
    return (inPitchClasses >> above & 1u) != 0;
}

// Looks down first at each distance, so that a tie goes down; a note past
// either end of the range is no candidate. Every scale has a note within
// six semitones, and the range spans more than an octave.
int KRVSelectionFitToScale::FitNote(int inRoot, PitchClasses inPitchClasses, int inNote) {
    for (int distance = 0; distance <= 12; distance++) {
        for (int candidate : {inNote - distance, inNote + distance}) {
            if (candidate >= 0 && candidate <= kHighestNote &&
                Holds(inRoot, inPitchClasses, candidate)) {
                return candidate;
            }
        }
    }
    return inNote;
}

void KRVSelectionFitToScale::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    int note = inSequencer->GetEvent(inTrack1, inStep1).GetNote();
    inSequencer->SetNote(inTrack1, inStep1, FitNote(mRoot, mPitchClasses, note));
}
