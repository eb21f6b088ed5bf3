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

    // One voice of a lane: the steps it leaves silent (bit 0 for step 1),
    // which the sequence gets as muted steps, and the notes it plays. Its
    // track is made only when it is wanted (MakeTrack), as most voices of a
    // big file find no room in the sequence.
    struct Laid {
        std::uint64_t mSilentSteps = 0;
        std::uint64_t mNoteCount = 0;
        std::size_t mLane = 0;
        std::size_t mVoice = 0;
    };

    KRVSMFTimedLayout(const KRVSMFTimeMap& inTimeMap, int inTicksPerStep, int inStepCount);

    // The voices the notes make, in order.
    std::vector<Laid> Lay(const std::vector<KRVSMFNote>& inNotes);
    std::uint64_t GetDroppedCount() const { return mDropped; }
    // Writes a voice of the last Lay into every step of a track.
    void MakeTrack(const Laid& inVoice, KRVTrack* outTrack) const;

private:
    struct Placed {
        int mLane;
        int mStep0;
        int mGate;
        const KRVSMFNote* mNote;
    };
    // A lane's notes are mPlaced[mBegin, mEnd).
    struct Lane {
        std::size_t mBegin;
        std::size_t mEnd;
    };

    bool Place(const KRVSMFNote& inNote, Placed* outPlaced) const;
    static int LaneOf(const KRVSMFNote& inNote);
    void AddLane(std::size_t inBegin, std::size_t inEnd, std::vector<Laid>* ioLaid);

    const KRVSMFTimeMap& mTimeMap;
    const int mTicksPerStep;
    const int mStepCount;
    std::uint64_t mDropped = 0;
    // The notes of the last Lay that are on the grid, by lane, then step,
    // then pitch, and where each lane's run of them lies. Kept from one file
    // track to the next, so that they seldom allocate.
    std::vector<Placed> mPlaced;
    std::vector<Lane> mLanes;
    // While a lane is laid: bit n of mVoiceSteps[v] is set when step n has
    // more than v notes.
    std::vector<std::uint64_t> mVoiceSteps;
};
