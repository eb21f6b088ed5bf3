#pragma once

#include <vector>

class KRVSequencer;

// Step entry from a keyboard: each key pressed writes its note and velocity
// into the step where entry stands, unmutes it, and entry moves on to the
// next step of the loop; entry ends after the loop's last step. Keys that
// start within kChordSeconds of the first key of a chord are played with it:
// its notes go onto the same step of the track and of the tracks after it,
// lowest note first, as a chord read from a file is laid (KRVVoiceTracks).
// A rest moves on and leaves the step as it is.
//
// Times are seconds on any one clock (the input's).
class KRVStepEntry {
public:
    // A keyboard player's chord spreads over some 10 to 30 ms from its first
    // key to its last; keys entered one by one come far further apart than
    // 40 ms, however fast (no one plays 25 notes a second into step entry).
    // Measured from the chord's first key, so that a quick run never chains
    // into one chord.
    static constexpr double kChordSeconds = 0.040;

    // Entry at inStep1 of inTrack1 (the track is made at the first key when
    // the sequence has none). inStep1 lies in the loop.
    KRVStepEntry(KRVSequencer& ioSequencer, int inTrack1, int inStep1);

    // What a key wrote: the chord it is part of, on inStep1 of the tracks
    // from inTrack1 on; false when it wrote nothing (entry has ended, or no
    // track could be made).
    struct Chord {
        int mStep1 = 0;
        int mTrack1 = 0;
        std::vector<int> mNotes;
    };
    bool Press(int inNote, int inVelocity, double inSeconds, Chord* outChord);
    // Skips the step where entry stands; false when entry has ended.
    bool Rest();
    // Whether entry has passed the loop's last step, and the last chord
    // can take no more keys at inSeconds.
    bool HasEnded(double inSeconds) const;
    // Whether entry has passed the loop's last step.
    bool IsPastLoop() const { return mStep1 == 0; }
    // Until when the last chord takes more keys.
    double GetChordEnd() const { return mChordStart + kChordSeconds; }
    // Where the next key goes: its step (0 once past the loop) and track.
    int GetStep1() const { return mStep1; }
    int GetTrack1() const { return mTrack1; }

private:
    struct Key {
        int mNote;
        int mVelocity;
    };

    bool JoinsChord(double inSeconds) const;
    void MoveOn();
    // Writes the chord's keys, lowest first, onto its tracks.
    void WriteChord(Chord* outChord);

    KRVSequencer& mSequencer;
    const int mTrack1;
    int mStep1;
    // The last chord: its step (0 before the first) and the time of its
    // first key.
    int mChordStep1 = 0;
    double mChordStart = 0;
    std::vector<Key> mChord;
};
