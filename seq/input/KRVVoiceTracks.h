#pragma once

class KRVSequencer;

// Notes played together go onto tracks side by side, one voice a track: the
// first voice onto the track being played into, the next onto the track
// after it, and so on, as a chord read from a file does.
namespace KRVVoiceTracks {

// The track that voice inVoice0 of inFirst1 plays on, made when there is
// none yet: a copy of inFirst1 (its channels, ports and gates) with every
// step muted, so that it sounds only where a note is written. 0 when the
// sequence has no room for another track.
int GetTrack1(KRVSequencer& ioSequencer, int inFirst1, int inVoice0);

// Writes a played note into a step and unmutes it: its note and velocity,
// and the gate when inGate is above 0. Channel and port stay the track's.
void Write(KRVSequencer& ioSequencer, int inTrack1, int inStep1, int inNote, int inVelocity,
           int inGate);

}  // namespace KRVVoiceTracks
