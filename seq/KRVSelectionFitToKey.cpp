#include "KRVSelectionFitToKey.h"

#include "KRVSequencer.h"

using Fit = KRVSelectionFitToKey;

const char* const KRVSelectionFitToKey::sKeyNames[kKeyCount] = {"C",  "C#", "Db", "D",  "D#", "Eb",
                                                                "E",  "F",  "F#", "Gb", "G",  "G#",
                                                                "Ab", "A",  "A#", "Bb", "B",  "Cb"};

// Columns: the incoming pitch class C, C#, D, D#, E, F, F#, G, G#, A, A#, B.
// D#, G# and A# share the rows of their enharmonic twins Eb, Ab and Bb.
// clang-format off
const KRVSelectionFitToKey::Note KRVSelectionFitToKey::sKeys[kKeyCount][12] = {
    /* C  */ {Fit::kC, Fit::kC, Fit::kD, Fit::kD, Fit::kE, Fit::kF, Fit::kF, Fit::kG, Fit::kG, Fit::kA, Fit::kA, Fit::kB},
    /* C# */ {Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kF, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kASharp, Fit::kASharp, Fit::kCUp},
    /* Db */ {Fit::kC, Fit::kDFlat, Fit::kDFlat, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kGFlat, Fit::kGFlat, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* D  */ {Fit::kCSharp, Fit::kCSharp, Fit::kD, Fit::kD, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kG, Fit::kG, Fit::kA, Fit::kA, Fit::kB},
    /* D# */ {Fit::kC, Fit::kC, Fit::kD, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* Eb */ {Fit::kC, Fit::kC, Fit::kD, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* E  */ {Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kA, Fit::kA, Fit::kB},
    /* F  */ {Fit::kC, Fit::kC, Fit::kD, Fit::kD, Fit::kE, Fit::kF, Fit::kF, Fit::kG, Fit::kG, Fit::kA, Fit::kBFlat, Fit::kBFlat},
    /* F# */ {Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kF, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kASharp, Fit::kASharp, Fit::kB},
    /* Gb */ {Fit::kC, Fit::kDFlat, Fit::kDFlat, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kGFlat, Fit::kGFlat, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* G  */ {Fit::kC, Fit::kC, Fit::kD, Fit::kD, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kG, Fit::kG, Fit::kA, Fit::kA, Fit::kB},
    /* G# */ {Fit::kC, Fit::kDFlat, Fit::kDFlat, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* Ab */ {Fit::kC, Fit::kDFlat, Fit::kDFlat, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kAFlat, Fit::kAFlat, Fit::kBFlat, Fit::kBFlat},
    /* A  */ {Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kA, Fit::kA, Fit::kB},
    /* A# */ {Fit::kC, Fit::kC, Fit::kD, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kG, Fit::kA, Fit::kBFlat, Fit::kBFlat},
    /* Bb */ {Fit::kC, Fit::kC, Fit::kD, Fit::kEFlat, Fit::kEFlat, Fit::kF, Fit::kF, Fit::kG, Fit::kG, Fit::kA, Fit::kBFlat, Fit::kBFlat},
    /* B  */ {Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kASharp, Fit::kASharp, Fit::kB},
    /* Cb */ {Fit::kBDown, Fit::kCSharp, Fit::kCSharp, Fit::kDSharp, Fit::kDSharp, Fit::kE, Fit::kFSharp, Fit::kFSharp, Fit::kGSharp, Fit::kGSharp, Fit::kASharp, Fit::kASharp},
};
// clang-format on

int KRVSelectionFitToKey::FitNote(Key inKey, int inNote) {
    int octaveStart = inNote / 12 * 12;
    int pitchClass = inNote % 12;
    int fitted = octaveStart + sKeys[inKey][pitchClass];
    // C-1 has no B below it: it goes up to the key's next note instead, which
    // the row gives for the next pitch class.
    if (fitted < 0) {
        fitted = octaveStart + sKeys[inKey][pitchClass + 1];
    }
    return fitted;
}

void KRVSelectionFitToKey::Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) {
    int note = inSequencer->GetEvent(inTrack1, inStep1).GetNote();
    inSequencer->SetNote(inTrack1, inStep1, FitNote(mKey, note));
}
