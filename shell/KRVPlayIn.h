#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "KRVUndoHistory.h"
#include "console/KRVSignalWait.h"
#include "input/KRVLiveRecording.h"
#include "input/KRVStepEntry.h"

class KRVMIDIInput;
class KRVSequencer;
class KRVShellInterface;
struct KRVInputMessage;

// A take played in from the keyboard: step entry or a live recording, at
// most one at a time. While one is on, the console's waits for a line serve
// the input (KRVSignalWait::Side), so that keys are taken the moment they
// come, on the command thread; what they did is said on the console. Thru
// plays into the take's track for its length.
//
// A take is one undo step from its start to its end, the commands typed
// meanwhile included (KRVUndoHistory::Open).
//
// Step entry rests on the sustain pedal: it is pressed without a key, and a
// keyboard has one even where it has no spare key.
class KRVPlayIn : public KRVSignalWait::Side {
public:
    // Keys come from the sequencer's input.
    KRVPlayIn(KRVSequencer* inSequencer, KRVShellInterface* inInterface);
    ~KRVPlayIn();
    KRVPlayIn(const KRVPlayIn&) = delete;
    KRVPlayIn& operator=(const KRVPlayIn&) = delete;

    bool HasInput() const;
    bool IsSteppingIn() const { return mStepEntry != nullptr; }
    bool IsRecording() const { return mRecording != nullptr; }
    // A take already on ends first. inHistory (null where undo is not kept)
    // gets the take as one step labelled inLabel.
    void StartStepEntry(int inTrack1, int inStep1, KRVUndoHistory* inHistory,
                        KRVUndoHistory::Label inLabel);
    // Only while playing.
    void StartRecording(int inTrack1, KRVLiveRecording::Mode inMode, KRVUndoHistory* inHistory,
                        KRVUndoHistory::Label inLabel);
    // Ends the take, if one is on, and says what it did.
    void End();
    // At the prompt: takes what came while a command ran; a recording ends
    // when playback has stopped.
    void Follow();

    int GetDescriptor() const override;
    int GetTimeoutMS() const override;
    void Serve() override;

private:
    void Begin(int inTrack1, KRVUndoHistory* inHistory, KRVUndoHistory::Label inLabel);
    // Takes at most inMost of the messages that wait.
    void Drain(int inMost);
    void Take(const KRVInputMessage& inMessage);
    void Press(int inNote, int inVelocity, std::uint64_t inTime);
    void Release(int inNote, std::uint64_t inTime);
    void Pedal(int inValue);
    void SayChordBefore(double inSeconds);
    // Where the next key goes.
    std::string Next() const;
    void Say(const std::string& inLine) const;
    std::uint64_t TimeOf(const KRVInputMessage& inMessage) const;

    KRVSequencer* mSequencer;
    KRVShellInterface* mInterface;
    KRVMIDIInput* mInput;
    std::unique_ptr<KRVStepEntry> mStepEntry;
    std::unique_ptr<KRVLiveRecording> mRecording;
    KRVUndoHistory* mHistory = nullptr;
    // The track thru played into before the take.
    int mTrackBefore1 = 1;
    bool mPedalDown = false;
    // The last chord step entry wrote, and whether it is still to be said.
    KRVStepEntry::Chord mChord;
    bool mChordUnsaid = false;
    // Where playback stood when the recording last looked.
    KRVSequencer::PlayedAt mLastAt;
};
