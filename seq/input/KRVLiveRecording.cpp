#include "input/KRVLiveRecording.h"

#include <algorithm>
#include <cmath>

#include "input/KRVVoiceTracks.h"
#include "model/KRVTimedPlacement.h"

namespace {

// The loop's last step ends where the loop does: a step past the steps shown
// (a partial one) is never recorded into.
int LoopStepsOf(const KRVSequencer& inSequencer) {
    return std::max(std::min(inSequencer.GetLoopStep() - 1, inSequencer.GetStepCount()), 1);
}

}  // namespace

// Replace's first pass begins with the step the recording starts in: a note
// may still land on it until playback is nearer the step after.
KRVLiveRecording::KRVLiveRecording(KRVSequencer& ioSequencer, int inTrack1, Mode inMode,
                                   const PlayedAt& inStart)
    : mSequencer(ioSequencer),
      mTrack1(inTrack1),
      mTicksPerStep(ioSequencer.GetTicksPerStep()),
      mLoopSteps(LoopStepsOf(ioSequencer)),
      mLoopTicks(std::max(ioSequencer.GetLoopTicks(), 1)) {
    if (inMode == Mode::kOverdub) {
        mPassed = mLoopSteps;
        return;
    }
    double loopTick = std::fmod(inStart.mLoopTick, mLoopTicks);
    loopTick += loopTick < 0 ? mLoopTicks : 0;
    mNextStep0 = StepOf(inStart);
    double passesAt = (mNextStep0 + 0.5) * mTicksPerStep;
    passesAt += passesAt <= loopTick ? mLoopTicks : 0;
    mNextPass = inStart.mTicksPlayed + (passesAt - loopTick);
}

// Past the loop's last step lies its first, as playback goes on.
int KRVLiveRecording::StepOf(const PlayedAt& inAt) const {
    double loopTick = std::fmod(inAt.mLoopTick, mLoopTicks);
    loopTick += loopTick < 0 ? mLoopTicks : 0;
    const int step0 = KRVTimedPlacement::NearestStep0(loopTick, mTicksPerStep);
    return step0 >= mLoopSteps || step0 < 0 ? 0 : step0;
}

int KRVLiveRecording::Press(int inNote, int inVelocity, const PlayedAt& inAt) {
    const int step0 = StepOf(inAt);
    std::vector<Note>& notes = mSteps[step0];
    auto same = std::find_if(notes.begin(), notes.end(),
                             [inNote](const Note& inOther) { return inOther.mNote == inNote; });
    if (same == notes.end()) {
        const int voices = static_cast<int>(notes.size()) + 1;
        while (mVoices < voices) {
            if (KRVVoiceTracks::GetTrack1(mSequencer, mTrack1, mVoices) == 0) {
                return 0;
            }
            mVoices++;
            // A track joining the recording is replaced where it was passed.
            for (int passed0 = 0; passed0 < mLoopSteps; passed0++) {
                if (mPassedSteps >> passed0 & 1) {
                    WriteStep(passed0);
                }
            }
        }
        notes.push_back({inNote, inVelocity, KRVTimedPlacement::kMaxGate});
        std::stable_sort(notes.begin(), notes.end(),
                         [](const Note& inA, const Note& inB) { return inA.mNote < inB.mNote; });
    } else {
        *same = {inNote, inVelocity, KRVTimedPlacement::kMaxGate};
    }
    // A key pressed again before it was let go starts afresh.
    std::erase_if(mHeld, [inNote](const Held& inHeld) { return inHeld.mNote == inNote; });
    mHeld.push_back({inNote, step0, inAt.mTicksPlayed});
    WriteStep(step0);
    mNoteCount++;
    return step0 + 1;
}

void KRVLiveRecording::Release(int inNote, const PlayedAt& inAt) {
    auto held = std::find_if(mHeld.begin(), mHeld.end(),
                             [inNote](const Held& inHeld) { return inHeld.mNote == inNote; });
    if (held == mHeld.end()) {
        return;
    }
    for (Note& note : mSteps[held->mStep0]) {
        if (note.mNote == inNote) {
            note.mGate = KRVTimedPlacement::GateOf(inAt.mTicksPlayed - held->mStart, mTicksPerStep);
        }
    }
    const int step0 = held->mStep0;
    mHeld.erase(held);
    WriteStep(step0);
}

void KRVLiveRecording::Follow(const PlayedAt& inNow) {
    while (mPassed < mLoopSteps && inNow.mTicksPlayed >= mNextPass) {
        PassStep(mNextStep0);
        mPassed++;
        const int next0 = (mNextStep0 + 1) % mLoopSteps;
        mNextPass += next0 == 0 ? mLoopTicks - (mLoopSteps - 1) * mTicksPerStep : mTicksPerStep;
        mNextStep0 = next0;
    }
}

void KRVLiveRecording::End(const PlayedAt& inNow) {
    Follow(inNow);
    while (!mHeld.empty()) {
        Release(mHeld.back().mNote, inNow);
    }
}

void KRVLiveRecording::PassStep(int inStep0) {
    mPassedSteps |= std::uint64_t{1} << inStep0;
    WriteStep(inStep0);
}

void KRVLiveRecording::WriteStep(int inStep0) {
    const std::vector<Note>& notes = mSteps[inStep0];
    const bool passed = (mPassedSteps >> inStep0 & 1) != 0;
    // A track deleted meanwhile is recorded into no more.
    const int voices = std::min(mVoices, mSequencer.GetTrackCount() - mTrack1 + 1);
    for (int voice0 = 0; voice0 < voices; voice0++) {
        const int track1 = mTrack1 + voice0;
        if (voice0 < static_cast<int>(notes.size())) {
            const Note& note = notes[voice0];
            KRVVoiceTracks::Write(mSequencer, track1, inStep0 + 1, note.mNote, note.mVelocity,
                                  note.mGate);
        } else if (passed) {
            mSequencer.Mute(track1, inStep0 + 1);
        }
    }
}
