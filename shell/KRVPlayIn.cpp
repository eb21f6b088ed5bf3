#include "KRVPlayIn.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "KRVShellInterface.h"
#include "input/KRVMIDIInput.h"
#include "input/KRVVoiceTracks.h"
#include "model/KRVEvent.h"
#include "model/KRVSequencer.h"

namespace {

// A flood of input is taken a share at a time, so that typing still gets
// its turn; the rest waits for the next serve, which comes at once.
constexpr int kMaxMessagesAServe = 256;
// How often replace looks where playback stands while its first loop
// lasts: the steps passed are muted well before they come round again.
constexpr int kFollowMS = 20;
constexpr int kSustainPedal = 64;

const char* ModeName(KRVLiveRecording::Mode inMode) {
    return inMode == KRVLiveRecording::Mode::kReplace ? "replace" : "overdub";
}

std::string Tracks(int inFirst1, int inCount) {
    if (inCount == 1) {
        return "track " + std::to_string(inFirst1);
    }
    return "tracks " + std::to_string(inFirst1) + " to " + std::to_string(inFirst1 + inCount - 1);
}

}  // namespace

KRVPlayIn::KRVPlayIn(KRVSequencer* inSequencer, KRVShellInterface* inInterface)
    : mSequencer(inSequencer), mInterface(inInterface), mInput(&inSequencer->GetInput()) {}

KRVPlayIn::~KRVPlayIn() {
    End();
}

bool KRVPlayIn::HasInput() const {
    return mInput->IsOpen();
}

void KRVPlayIn::StartStepEntry(int inTrack1, int inStep1, KRVUndoHistory* inHistory,
                               KRVUndoHistory::Label inLabel) {
    Begin(inTrack1, inHistory, std::move(inLabel));
    mStepEntry = std::make_unique<KRVStepEntry>(*mSequencer, inTrack1, inStep1);
    mInterface->WriteFormattedDD("step entry on track %d from step %d\n", inTrack1, inStep1);
}

void KRVPlayIn::StartRecording(int inTrack1, KRVLiveRecording::Mode inMode,
                               KRVUndoHistory* inHistory, KRVUndoHistory::Label inLabel) {
    const int step1 = mSequencer->GetCurrentStep() + 1;
    Begin(inTrack1, inHistory, std::move(inLabel));
    KRVVoiceTracks::GetTrack1(*mSequencer, inTrack1, 0);
    // Before the first tick, playback stands at its start.
    mSequencer->GetPlayedNow(&mLastAt);
    mRecording = std::make_unique<KRVLiveRecording>(*mSequencer, inTrack1, inMode, mLastAt);
    Say("recording into " + Tracks(inTrack1, 1) + " from step " + std::to_string(step1) + ", " +
        ModeName(inMode) + "\n");
}

// What was played before the take is no part of it.
void KRVPlayIn::Begin(int inTrack1, KRVUndoHistory* inHistory, KRVUndoHistory::Label inLabel) {
    End();
    mHistory = inHistory;
    if (mHistory != nullptr) {
        mHistory->Open(std::move(inLabel));
    }
    mPedalDown = false;
    mChordUnsaid = false;
    KRVInputMessage stale;
    while (mInput->Pop(stale)) {
    }
    mTrackBefore1 = mSequencer->GetInputTrack();
    mSequencer->SetInputTrack(inTrack1);
    KRVSignalWait::SetSide(this);
}

// What was played before the end is part of the take; a flood is cut
// short.
void KRVPlayIn::End() {
    if (mStepEntry == nullptr && mRecording == nullptr) {
        return;
    }
    Drain(kMaxMessagesAServe);
    if (mRecording != nullptr) {
        // Once playback has stopped, where it stood last is where the
        // recording ends.
        if (mSequencer->IsPlaying()) {
            mSequencer->GetPlayedNow(&mLastAt);
        }
        mRecording->End(mLastAt);
        Say("record off: " + std::to_string(mRecording->GetNoteCount()) + " notes on " +
            Tracks(mRecording->GetTrack1(), mRecording->GetVoiceCount()) + "\n");
    } else {
        SayChordBefore(INFINITY);
        mInterface->Write("step entry off\n");
    }
    mStepEntry.reset();
    mRecording.reset();
    if (KRVSignalWait::GetSide() == this) {
        KRVSignalWait::SetSide(nullptr);
    }
    mSequencer->SetInputTrack(mTrackBefore1);
    if (mHistory != nullptr) {
        mHistory->Close(*mSequencer);
        mHistory = nullptr;
    }
}

void KRVPlayIn::Follow() {
    if (mRecording != nullptr && !mSequencer->IsPlaying()) {
        End();
        return;
    }
    Serve();
}

int KRVPlayIn::GetDescriptor() const {
    return mInput->GetWakeFd();
}

int KRVPlayIn::GetTimeoutMS() const {
    if (mStepEntry != nullptr && (mChordUnsaid || mStepEntry->IsPastLoop())) {
        const double left =
            mStepEntry->GetChordEnd() - mSequencer->ToSeconds(mSequencer->GetClockNow());
        return std::max(0, static_cast<int>(std::ceil(left * 1000)) + 1);
    }
    if (mRecording != nullptr && !mRecording->IsOverdubbing()) {
        return kFollowMS;
    }
    return -1;
}

void KRVPlayIn::Serve() {
    Drain(kMaxMessagesAServe);
    if (mRecording != nullptr && mSequencer->GetPlayedNow(&mLastAt)) {
        mRecording->Follow(mLastAt);
    }
    if (mStepEntry != nullptr) {
        const double now = mSequencer->ToSeconds(mSequencer->GetClockNow());
        SayChordBefore(now);
        if (mStepEntry->HasEnded(now)) {
            End();
        }
    }
    mInterface->Flush();
}

void KRVPlayIn::Drain(int inMost) {
    KRVInputMessage message;
    for (int count = 0;
         count < inMost && (mStepEntry != nullptr || mRecording != nullptr) && mInput->Pop(message);
         count++) {
        Take(message);
    }
}

void KRVPlayIn::Take(const KRVInputMessage& inMessage) {
    if (inMessage.mLength < 3) {
        return;
    }
    const int status = inMessage.mBytes[0] & 0xF0;
    const int data1 = inMessage.mBytes[1];
    const int data2 = inMessage.mBytes[2];
    if (status == 0x90 && data2 > 0) {
        Press(data1, data2, TimeOf(inMessage));
    } else if (status == 0x80 || status == 0x90) {
        Release(data1, TimeOf(inMessage));
    } else if (status == 0xB0 && data1 == kSustainPedal) {
        Pedal(data2);
    }
}

// A message without a time came now.
std::uint64_t KRVPlayIn::TimeOf(const KRVInputMessage& inMessage) const {
    return inMessage.mTime != 0 ? inMessage.mTime : mSequencer->GetClockNow();
}

// A chord is said once its keys are all in.
void KRVPlayIn::Press(int inNote, int inVelocity, std::uint64_t inTime) {
    if (mStepEntry != nullptr) {
        const double seconds = mSequencer->ToSeconds(inTime);
        SayChordBefore(seconds);
        if (mStepEntry->Press(inNote, inVelocity, seconds, &mChord)) {
            mChordUnsaid = true;
        }
    }
    KRVSequencer::PlayedAt at;
    if (mRecording != nullptr && mSequencer->GetPlayedAt(inTime, &at)) {
        mRecording->Press(inNote, inVelocity, at);
    }
}

void KRVPlayIn::Release(int inNote, std::uint64_t inTime) {
    KRVSequencer::PlayedAt at;
    if (mRecording != nullptr && mSequencer->GetPlayedAt(inTime, &at)) {
        mRecording->Release(inNote, at);
    }
}

// The pedal pressed down rests; let up, nothing.
void KRVPlayIn::Pedal(int inValue) {
    const bool down = inValue >= 64;
    if (down && !mPedalDown && mStepEntry != nullptr) {
        SayChordBefore(INFINITY);
        const int step1 = mStepEntry->GetStep1();
        if (mStepEntry->Rest()) {
            Say("step " + std::to_string(step1) + ": rest, " + Next());
        }
    }
    mPedalDown = down;
}

// The last chord, when its keys are all in by inSeconds.
void KRVPlayIn::SayChordBefore(double inSeconds) {
    if (!mChordUnsaid || inSeconds <= mStepEntry->GetChordEnd()) {
        return;
    }
    mChordUnsaid = false;
    std::string notes;
    for (int note : mChord.mNotes) {
        notes += KRVEvent::FormatNoteNumber(static_cast<unsigned char>(note)) + " ";
    }
    Say("step " + std::to_string(mChord.mStep1) + ": " + notes + "on " +
        Tracks(mChord.mTrack1, static_cast<int>(mChord.mNotes.size())) + ", " + Next());
}

std::string KRVPlayIn::Next() const {
    if (mStepEntry->IsPastLoop()) {
        return "end of loop\n";
    }
    return "next step " + std::to_string(mStepEntry->GetStep1()) + "\n";
}

void KRVPlayIn::Say(const std::string& inLine) const {
    mInterface->Write(inLine.c_str());
}
