#include "input/KRVVoiceTracks.h"

#include <memory>

#include "model/KRVSequencer.h"

int KRVVoiceTracks::GetTrack1(KRVSequencer& ioSequencer, int inFirst1, int inVoice0) {
    const int track1 = inFirst1 + inVoice0;
    if (track1 <= ioSequencer.GetTrackCount()) {
        return track1;
    }
    while (ioSequencer.GetTrackCount() < track1) {
        if (!ioSequencer.CanAddTrack()) {
            return 0;
        }
        // With no track to copy (an empty sequence), a fresh one.
        auto track = inFirst1 <= ioSequencer.GetTrackCount()
                         ? std::make_unique<KRVTrack>(ioSequencer.GetTrack(inFirst1))
                         : std::make_unique<KRVTrack>();
        for (int step1 = 1; step1 <= KRVTrack::kMaxSteps; step1++) {
            track->Mute(step1);
        }
        ioSequencer.AddTrack(std::move(track));
    }
    return track1;
}

void KRVVoiceTracks::Write(KRVSequencer& ioSequencer, int inTrack1, int inStep1, int inNote,
                           int inVelocity, int inGate) {
    ioSequencer.SetNote(inTrack1, inStep1, inNote);
    ioSequencer.SetVelocity(inTrack1, inStep1, inVelocity);
    if (inGate > 0) {
        ioSequencer.SetGateTime(inTrack1, inStep1, inGate);
    }
    ioSequencer.UnMute(inTrack1, inStep1);
}
