#pragma once

class KRVSequencer;

// What to do to one selected event. KRVSequencer::RunSelection calls Action
// once per selected event, track by track and step by step (1-based numbers).
// Actions change events only through the sequencer's setters, so every value
// is clamped by the sequencer's rules and announced to its listeners.
class KRVSelectionAction {
public:
    KRVSelectionAction() = default;
    virtual ~KRVSelectionAction() = default;
    virtual void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) = 0;
};
