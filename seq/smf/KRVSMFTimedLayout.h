#pragma once

#include <cstdint>
#include <vector>

#include "model/KRVTrack.h"

struct KRVSMFNote;
class KRVSMFTimeMap;

// Lays the notes of one file track on the grid by their times, as a
// musician would write them in: each note on the step nearest its start,
// its gate its length in percent of a step, rounded up (at most 90, at
// least 1, so that a note of no length still sounds), and its velocity and
// channel as they are.
//
// One grid track plays one note at a time, so notes that start on the same
// step go onto tracks of their own: a voice a track, lowest note first, so
// that a chord stays a chord. On channel 10, the General MIDI drum channel,
// each drum (note) gets a track of its own instead, so that the bass drum
// track plays the bass drum only. Channels come in order, each on tracks of
// its own.
//
// A step where a track has no note is muted, holding the track's note
// before it (or its first), so that unmuting it plays something in tune.
// Notes nearest a step beyond the last are dropped and counted.
class KRVSMFTimedLayout {
public:
    // A file track keeps at most this many notes: every note on every step
    // of a full grid.
    static constexpr std::size_t kMaxNotesPerTrack = KRVTrack::kMaxSteps * 128;

    // A track carries no step marks into the sequence, so the steps to mute
    // come apart: bit 0 for step 1.
    struct Laid {
        KRVTrack mTrack;
        std::uint64_t mSilentSteps = 0;
        std::uint64_t mNoteCount = 0;
    };

    KRVSMFTimedLayout(const KRVSMFTimeMap& inTimeMap, int inTicksPerStep, int inStepCount);

    // The tracks the notes make, in order.
    std::vector<Laid> Lay(const std::vector<KRVSMFNote>& inNotes);
    std::uint64_t GetDroppedCount() const { return mDropped; }

private:
    struct Placed {
        int mStep0;
        int mGate;
        const KRVSMFNote* mNote;
    };
    using Lane = std::vector<std::vector<Placed>>;

    bool Place(const KRVSMFNote& inNote, Placed* outPlaced) const;
    static int LaneOf(const KRVSMFNote& inNote);
    static std::vector<Laid> MakeVoices(Lane* ioLane);
    static Laid MakeVoice(const Lane& inLane, std::size_t inVoice);

    const KRVSMFTimeMap& mTimeMap;
    const int mTicksPerStep;
    const int mStepCount;
    std::uint64_t mDropped = 0;
};
