#pragma once

class KRVSequencer;

// Observer of the sequencer. Track and step numbers are 1-based. Every
// notification comes on the thread that made the change; the clock thread
// sends none, so that nothing a listener does can hold up a tick. Those of
// AddTrack and DeleteTrack come with the busy flag held: a listener must not
// call back into an operation that claims the flag from those.
class KRVSequencerListener {
public:
    virtual ~KRVSequencerListener() = default;
    virtual void BPMChanged(KRVSequencer* inSequencer) = 0;
    virtual void ClockReset(KRVSequencer* inSequencer) = 0;
    virtual void ConfigChanged(KRVSequencer* inSequencer) = 0;
    virtual void EventChanged(KRVSequencer* inSequencer, int inTrack1, int inStep1) = 0;
    virtual void LoopChanged(KRVSequencer* inSequencer) = 0;
    virtual void PortListChanged(KRVSequencer* inSequencer) = 0;
    virtual void ScaleChanged(KRVSequencer* inSequencer) = 0;
    virtual void Start(KRVSequencer* inSequencer) = 0;
    virtual void Stop(KRVSequencer* inSequencer) = 0;
    virtual void TrackChanged(KRVSequencer* inSequencer, int inTrack1) = 0;
    virtual void TrackAdded(KRVSequencer* inSequencer, int inTrack1) = 0;
    virtual void TrackDeleted(KRVSequencer* inSequencer, int inTrack1) = 0;
};
