#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "model/KRVSequencer.h"
#include "model/KRVTrack.h"

// Live recording: each note played while the sequence plays lands on the
// step nearest its start, in the loop as the player heard it, with its
// velocity and a gate from its length (KRVTimedPlacement, as a file's notes
// are placed by time). Notes that land on one step are a chord: lowest note
// first on the track recorded into and the tracks after it (KRVVoiceTracks).
// A note played again on a step that holds it takes its place, so that a
// pattern played over and over stays as it was played once.
//
// Replace mutes, on the tracks recorded into, the steps that the first loop
// passes without a note, and only adds after that; overdub only adds.
// Positions come from KRVSequencer::GetPlayedAt.
class KRVLiveRecording {
public:
    enum class Mode { kReplace, kOverdub };
    using PlayedAt = KRVSequencer::PlayedAt;

    KRVLiveRecording(KRVSequencer& ioSequencer, int inTrack1, Mode inMode, const PlayedAt& inStart);

    // A key pressed or let go; what lands on a step beyond the tracks a
    // sequence may hold is dropped. Returns the step it landed on (1-based),
    // 0 for none.
    int Press(int inNote, int inVelocity, const PlayedAt& inAt);
    void Release(int inNote, const PlayedAt& inAt);
    // Playback has come to inNow: replace mutes what its first loop passed.
    void Follow(const PlayedAt& inNow);
    // The notes still held end now, and replace mutes what was passed.
    void End(const PlayedAt& inNow);

    int GetTrack1() const { return mTrack1; }
    // How many tracks it has laid notes on, from GetTrack1 on.
    int GetVoiceCount() const { return mVoices; }
    // How many notes have landed.
    int GetNoteCount() const { return mNoteCount; }
    // Whether replace has passed its whole first loop (always for overdub).
    bool IsOverdubbing() const { return mPassed >= mLoopSteps; }

private:
    struct Note {
        int mNote;
        int mVelocity;
        int mGate;
    };
    struct Held {
        int mNote;
        int mStep0;
        double mStart;
    };

    int StepOf(const PlayedAt& inAt) const;
    // Lays a step's notes onto the tracks, lowest first; the tracks recorded
    // into beyond them mute the step, if replace has passed it.
    void WriteStep(int inStep0);
    void PassStep(int inStep0);

    KRVSequencer& mSequencer;
    const int mTrack1;
    const int mTicksPerStep;
    const int mLoopSteps;
    const double mLoopTicks;
    // The notes of this recording, by step.
    std::array<std::vector<Note>, KRVTrack::kMaxSteps> mSteps;
    std::vector<Held> mHeld;
    // Replace: the steps of the first loop passed so far, the next to pass
    // and the ticks played when it does; the steps passed, bit 0 for step 1.
    int mPassed = 0;
    int mNextStep0 = 0;
    double mNextPass = 0;
    std::uint64_t mPassedSteps = 0;
    // How many tracks the recording has laid notes on, the first included.
    int mVoices = 1;
    int mNoteCount = 0;
};
