#pragma once

#include <cstdint>
#include <string>

#include "actions/KRVSelectionAction.h"

// Moves the event's note onto the nearest note of a scale: a root pitch
// class and the set of pitch classes above it that the scale holds. A note
// between two notes of the scale that are as near goes down; the octave is
// kept unless the nearest note lies across it. Notes of the scale stay.
class KRVSelectionFitToScale : public KRVSelectionAction {
public:
    // Bit i set: the note i semitones above the root is in the scale.
    using PitchClasses = std::uint16_t;

    KRVSelectionFitToScale(int inRoot, PitchClasses inPitchClasses)
        : mRoot(inRoot), mPitchClasses(inPitchClasses) {}
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

    // inNote 0 to 127; the result too.
    static int FitNote(int inRoot, PitchClasses inPitchClasses, int inNote);

    // The scales fitkey knows by name, as "dorian" or "harmonic minor".
    static int GetScaleCount();
    static const char* GetScaleName(int inScale);
    static PitchClasses GetPitchClasses(int inScale);
    // The scale named so, in any case; -1 for none.
    static int FindScale(const std::string& inName);
    // The major scale: fitkey fits it by its hand-made key table.
    static PitchClasses GetMajor();
    // What a key name followed by "m" means (Am).
    static PitchClasses GetMinor();

private:
    static bool Holds(int inRoot, PitchClasses inPitchClasses, int inNote);

    const int mRoot;
    const PitchClasses mPitchClasses;
};
