#include "actions/KRVSelectionFitToKey.h"

#include "model/KRVSequencer.h"

using Fit = KRVSelectionFitToKey;

const char* const KRVSelectionFitToKey::sKeyNames[kKeyCount] = {"C",  "C#", "Db", "D",  "D#", "Eb",
                                                                "E",  "F",  "F#", "Gb", "G",  "G#",
                                                                "Ab", "A",  "A#", "Bb", "B",  "Cb"};

// Columns: the incoming pitch class C, C#, D, D#, E, F, F#, G, G#, A, A#, B.
// D#, G# and A# share the rows of their enharmonic twins Eb, Ab and Bb, and
// Gb and Cb the key notes of F# and B. A note of the key maps onto itself
// (in C# that includes C and F, which are B# and E#; in Cb, E and B, which
// are Fb and Cb); every other note moves a semitone onto the key.
// clang-format off
const KRVSelectionFitToKey::Note KRVSelectionFitToKey::sKeys[kKeyCount][12] = {
    /* C  */ {Fit::kC, Fit::kC, Fit::kD, Fit::kD, Fit::kE, Fit::kF, Fit::kF, Fit::kG, Fit::kG, Fit::kA, Fit::kA, Fit::kB},
    /* C# */ {Fit::kC, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kF, Fit::kF, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kASharp, Fit::kASharp, Fit::kCUp},
    /* Db */ {Fit::kC, Fit::kDFlat, Fit::kDFlat, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kGFlat, Fit::kGFlat, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* D  */ {Fit::kCSharp, Fit::kCSharp, Fit::kD, Fit::kD, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kG, Fit::kG, Fit::kA, Fit::kA, Fit::kB},
    /* D# */ {Fit::kC, Fit::kC, Fit::kD, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* Eb */ {Fit::kC, Fit::kC, Fit::kD, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* E  */ {Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kA, Fit::kA, Fit::kB},
    /* F  */ {Fit::kC, Fit::kC, Fit::kD, Fit::kD, Fit::kE, Fit::kF, Fit::kF, Fit::kG, Fit::kG, Fit::kA, Fit::kBFlat, Fit::kBFlat},
    /* F# */ {Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kF, Fit::kF, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kASharp, Fit::kASharp, Fit::kB},
    /* Gb */ {Fit::kDFlat, Fit::kDFlat, Fit::kDFlat, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kGFlat, Fit::kGFlat, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kB},
    /* G  */ {Fit::kC, Fit::kC, Fit::kD, Fit::kD, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kG, Fit::kG, Fit::kA, Fit::kA, Fit::kB},
    /* G# */ {Fit::kC, Fit::kDFlat, Fit::kDFlat, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* Ab */ {Fit::kC, Fit::kDFlat, Fit::kDFlat, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* A  */ {Fit::kCSharp, Fit::kCSharp, Fit::kD, Fit::kD, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kA, Fit::kA, Fit::kB},
    /* A# */ {Fit::kC, Fit::kC, Fit::kD, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kG, Fit::kA, Fit::kBFlat, Fit::kBFlat},
    /* Bb */ {Fit::kC, Fit::kC, Fit::kD, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kG, Fit::kA, Fit::kBFlat, Fit::kBFlat},
    /* B  */ {Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kASharp, Fit::kASharp, Fit::kB},
    /* Cb */ {Fit::kBDown, Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kE, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kASharp, Fit::kB},
};
// clang-format on

bool KRVSelectionFitToKey::IsInKey(Key inKey, int inPitchClass) {
    return sKeys[inKey][inPitchClass] == inPitchClass;
}

int KRVSelectionFitToKey::FitNote(Key inKey, int inNote) {
    int octaveStart = inNote / 12 * 12;
    int fitted = octaveStart + sKeys[inKey][inNote % 12];
    // A move into the next octave may leave the note range (B below C-1, C
    // above G9): the nearest note of the key inside it is taken instead.
    int step = fitted < 0 ? 1 : fitted > kHighestNote ? -1 : 0;
    if (step != 0) {
        fitted = inNote;
        while (!IsInKey(inKey, fitted % 12)) {
            fitted += step;
        }
    }
    return fitted;
}

void KRVSelectionFitToKey::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    int note = inSequencer->GetEvent(inTrack1, inStep1).GetNote();
    inSequencer->SetNote(inTrack1, inStep1, FitNote(mKey, note));
}
