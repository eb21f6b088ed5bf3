#include <cstdio>
#include <cstdlib>

#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVStdioInterface.h"

namespace {

// The only argument is the starting tempo; one that reads as no usable
// tempo gives 120.
double ReadStartingTempo(int inArgc, char** inArgv) {
    double bpm = inArgc > 1 ? std::atof(inArgv[1]) : 0.0;
    return KRVSequencer::IsUsableBPM(bpm) ? bpm : 120.0;
}

}  // namespace

int main(int inArgc, char** inArgv) {
    double bpm = ReadStartingTempo(inArgc, inArgv);
    KRVSequencer sequencer;
    sequencer.SetScale(1, 16);
    sequencer.SetBPM(bpm);

    KRVStdioInterface interface(stdin, stdout);
    KRVShell shell(&sequencer, &interface);
    shell.Shell(true);
    return 0;
}
