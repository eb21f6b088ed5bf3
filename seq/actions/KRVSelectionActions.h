#pragma once

#include "actions/KRVSelectionAction.h"
#include "model/KRVSequencer.h"

// The small selection actions, each what one editing command does to one
// selected event. Values go through the sequencer's setters, which clamp
// them by its rules (KRVSelectionAction). Fitting to a key and to a scale
// have files of their own (KRVSelectionFitToKey, KRVSelectionFitToScale).

// ---- selection ----

// Takes the event out of the selection; the walk goes on safely because it
// reads each mark just before the visit.
class KRVSelectionClear : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// Narrows the selection to the steps that end a division of the bar (with
// 16 steps a bar and 4 divisions: steps 4, 8, 12 and 16). It never adds to
// the selection, since only selected events are visited. When a division is
// shorter than a step (4 steps a bar, 8 divisions) every step holds the end
// of a division, so every selected step stays selected.
class KRVSelectionSelectByClockDivision : public KRVSelectionAction {
public:
    // inDivision: divisions per bar.
    explicit KRVSelectionSelectByClockDivision(int inDivision) : mDivision(inDivision) {}
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mDivision;
};

// Narrows the selection to every inEvery-th step of the grid from inFirst1
// (every 4 from 1: steps 1, 5, 9 and 13). Selected events before inFirst1
// leave the selection; it never adds to it.
class KRVSelectionSelectEvery : public KRVSelectionAction {
public:
    KRVSelectionSelectEvery(int inEvery, int inFirst1) : mEvery(inEvery), mFirst1(inFirst1) {}
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mEvery;
    const int mFirst1;
};

// ---- set one value ----

// Writes one value into every selected event through one of the sequencer's
// setters, which clamps it by its own rules: the note and the velocity at
// 127, the gate at 90 percent, the channel 1 to 16 (any other is ignored),
// the port 0-based (one the sequence lacks becomes its last), the chance 0 to
// 100 percent, the ratchet 1 to KRVEvent::kMaxRatchet repeats, the length 1
// to 64 steps.
template <void (KRVSequencer::*Setter)(int, int, int)>
class KRVSelectionSetValue : public KRVSelectionAction {
public:
    explicit KRVSelectionSetValue(unsigned char inValue) : mValue(inValue) {}
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override {
        (inSequencer->*Setter)(inTrack1, inStep1, mValue);
    }

private:
    const unsigned char mValue;
};

using KRVSelectionSetNote = KRVSelectionSetValue<&KRVSequencer::SetNote>;
using KRVSelectionSetVelocity = KRVSelectionSetValue<&KRVSequencer::SetVelocity>;
using KRVSelectionSetGateTime = KRVSelectionSetValue<&KRVSequencer::SetGateTime>;
using KRVSelectionSetChannel = KRVSelectionSetValue<&KRVSequencer::SetChannel>;
using KRVSelectionSetPort = KRVSelectionSetValue<&KRVSequencer::SetPort>;
using KRVSelectionSetChance = KRVSelectionSetValue<&KRVSequencer::SetChance>;
using KRVSelectionSetRatchet = KRVSelectionSetValue<&KRVSequencer::SetRatchet>;
using KRVSelectionSetLength = KRVSelectionSetValue<&KRVSequencer::SetLength>;

// Marks or unmarks the tie to the next step.
class KRVSelectionSetTie : public KRVSelectionAction {
public:
    explicit KRVSelectionSetTie(bool inTied) : mTied(inTied) {}
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const bool mTied;
};

// ---- change one value into another ----

// Only events holding inFromNote change.
class KRVSelectionChangeNote : public KRVSelectionAction {
public:
    KRVSelectionChangeNote(unsigned char inFromNote, unsigned char inToNote)
        : mFromNote(inFromNote), mToNote(inToNote) {}
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const unsigned char mFromNote;
    const unsigned char mToNote;
};

// Moves events from one channel (and optionally one port) to another.
// Channels are 1-based, ports 0-based. kAnyPort as the from port matches
// every port; as the to port it leaves each event's port alone.
class KRVSelectionChangeChannel : public KRVSelectionAction {
public:
    static constexpr int kAnyPort = -1;

    KRVSelectionChangeChannel(int inFromPort, int inFromChannel, int inToPort, int inToChannel)
        : mFromChannel(inFromChannel),
          mFromPort(inFromPort),
          mToChannel(inToChannel),
          mToPort(inToPort) {}
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;

private:
    const int mFromChannel;
    const int mFromPort;
    const int mToChannel;
    const int mToPort;
};

// ---- move one value by a signed delta ----

// A sum outside the value's range leaves the event as it is: no clamping,
// no wrapping, so repeated steps stop at the edge instead of folding values
// together.
class KRVSelectionIncrement : public KRVSelectionAction {
public:
    explicit KRVSelectionIncrement(int inDelta) : mDelta(inDelta) {}

protected:
    // inValue moved by the delta, when the sum lies in inLowest to inHighest.
    bool Move(int inValue, int inLowest, int inHighest, int* outSum) const;

private:
    const int mDelta;
};

// 0 to 127.
class KRVSelectionIncrementNote : public KRVSelectionIncrement {
public:
    using KRVSelectionIncrement::KRVSelectionIncrement;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// 0 to 127.
class KRVSelectionIncrementVelocity : public KRVSelectionIncrement {
public:
    using KRVSelectionIncrement::KRVSelectionIncrement;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// 1 to 90: an increment never silences a note.
class KRVSelectionIncrementGateTime : public KRVSelectionIncrement {
public:
    using KRVSelectionIncrement::KRVSelectionIncrement;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// 1 to 16.
class KRVSelectionIncrementChannel : public KRVSelectionIncrement {
public:
    using KRVSelectionIncrement::KRVSelectionIncrement;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// 0 to the last port.
class KRVSelectionIncrementPort : public KRVSelectionIncrement {
public:
    using KRVSelectionIncrement::KRVSelectionIncrement;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// ---- mute and solo marks ----

class KRVSelectionMute : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

class KRVSelectionUnMute : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// Running it twice restores the marks.
class KRVSelectionInvertMute : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// Solos the event within its track; the track's solo count rises only once
// however often the event is soloed.
class KRVSelectionHSolo : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

class KRVSelectionHUnSolo : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// Makes the event the soloed one of its step. The walk goes track by track,
// so when several selected events share a step the last track keeps the solo.
class KRVSelectionVSolo : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

class KRVSelectionVUnSolo : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// ---- random values (KRVRandomDraw: one rand() per event) ----

// Mutes the event on an odd draw and unmutes it on an even one, whatever it
// was before.
class KRVSelectionRandomMute : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// Draws a value from inBase to inBase + inRange, both included; the
// sequencer's setter applies its own limits.
class KRVSelectionRandomise : public KRVSelectionAction {
public:
    KRVSelectionRandomise(int inBase, int inRange) : mBase(inBase), mRange(inRange) {}

protected:
    int Draw() const;

private:
    const int mBase;
    const int mRange;
};

class KRVSelectionRandomiseNote : public KRVSelectionRandomise {
public:
    using KRVSelectionRandomise::KRVSelectionRandomise;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

class KRVSelectionRandomiseVelocity : public KRVSelectionRandomise {
public:
    using KRVSelectionRandomise::KRVSelectionRandomise;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// In percent of a step.
class KRVSelectionRandomiseGate : public KRVSelectionRandomise {
public:
    using KRVSelectionRandomise::KRVSelectionRandomise;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// 1-based.
class KRVSelectionRandomiseChannel : public KRVSelectionRandomise {
public:
    using KRVSelectionRandomise::KRVSelectionRandomise;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// 0-based.
class KRVSelectionRandomisePort : public KRVSelectionRandomise {
public:
    using KRVSelectionRandomise::KRVSelectionRandomise;
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};

// Makes the event what a new track's events are: the default content
// (note 0, velocity 64, gate 50, channel 1, port 0), unmuted and without
// solos. It stays selected.
class KRVSelectionResetEvent : public KRVSelectionAction {
public:
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override;
};
