#pragma once

#include "actions/KRVSelectionAction.h"

// Moves the event's note onto a note of a major key, keeping its octave:
// each pitch class goes through a fixed row of the fitting table for the key.
// The rows are hand-made, not derived from a scale formula, and a few moves
// reach into the neighbouring octave (B up to the next C, C down to the B
// below). Notes already in the key stay where they are.
class KRVSelectionFitToKey : public KRVSelectionAction {
public:
    enum Key {
        kCMajor,
        kCSharpMajor,
        kDFlatMajor,
        kDMajor,
        kDSharpMajor,
        kEFlatMajor,
        kEMajor,
        kFMajor,
        kFSharpMajor,
        kGFlatMajor,
        kGMajor,
        kGSharpMajor,
        kAFlatMajor,
        kAMajor,
        kASharpMajor,
        kBFlatMajor,
        kBMajor,
        kCFlatMajor
    };

    // Semitones from the C that starts the note's own octave.
    enum Note {
        kBDown = -1,
        kC = 0,
        kCSharp = 1,
        kDFlat = 1,
        kD = 2,
        kDSharp = 3,
        kEFlat = 3,
        kE = 4,
        kF = 5,
        kFSharp = 6,
        kGFlat = 6,
        kG = 7,
        kGSharp = 8,
        kAFlat = 8,
        kA = 9,
        kASharp = 10,
        kBFlat = 10,
        kB = 11,
        kCUp = 12
    };

    explicit KRVSelectionFitToKey(Key inKey) : mKey(inKey) {}
    ~KRVSelectionFitToKey() override = default;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

    // The key as "C", "C#", "Db" ... "Cb"; callers pass 0 to GetKeyNameCount() - 1.
    static const char* GetKeyName(Key inKey) { return sKeyNames[inKey]; }
    static int GetKeyNameCount() { return kKeyCount; }
    // The note inNote (0 to 127) lands on, also 0 to 127.
    static int FitNote(Key inKey, int inNote);
    // Whether a pitch class (0 = C to 11 = B) is a note of the key.
    static bool IsInKey(Key inKey, int inPitchClass);

private:
    static constexpr int kKeyCount = 18;
    static constexpr int kHighestNote = 127;

    // Tables are constant, so they need no first-use set-up and are safe to
    // read from any thread.
    static const char* const sKeyNames[kKeyCount];
    static const Note sKeys[kKeyCount][12];

    const Key mKey;
};
