// Writes the sample sequence that the interoperability checks expect
// (interop.py mido-reads-export) to the file named by the one argument.
#include <cstdio>

#include "console/KRVStdioInterface.h"
#include "model/KRVSequencer.h"
#include "smf/KRVSequencerSMF.h"

int main(int inArgumentCount, char** inArguments) {
    if (inArgumentCount != 2) {
        std::fprintf(stderr, "usage: %s FILE.mid\n", inArguments[0]);
        return 2;
    }
    KRVSequencer sequencer;
    sequencer.SetBPM(100);
    for (int track1 = 1; track1 <= 2; track1++) {
        sequencer.AddTrack(KRVTrack());
        for (int step1 = 1; step1 <= 16; step1++) {
            sequencer.SetNote(track1, step1, 36 + 12 * track1 + step1);
            sequencer.SetVelocity(track1, step1, 30 + 5 * step1);
            sequencer.SetGateTime(track1, step1, 6 * (step1 - 1));
            sequencer.SetChannel(track1, step1, track1 == 1 ? 1 : 1 + step1 % 16);
        }
    }
    // Muted steps are exported like any other.
    sequencer.Mute(1, 3);
    KRVStdioInterface console(stdin, stdout);
    KRVSequencerSMF(&sequencer, &console).Export(inArguments[1]);
    return 0;
}
