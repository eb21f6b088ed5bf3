// display: the grid as text, a 7-character label and one 4-character cell
// per step on every line, a block of six lines per track. At a terminal too
// narrow for the steps asked for, they come in blocks that fit, one after
// another, each with its own step numbers.
#include <algorithm>
#include <string>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVGridText.h"
#include "model/KRVSequencer.h"

namespace {

using Steps = KRVGridText::Steps;

// One block: the header, every track and the closing ruler, each part
// written in one piece.
void WriteBlock(KRVShellInterface* inOut, const KRVSequencer& inSequencer, Steps inSteps) {
    std::string text;
    KRVGridText::AppendHeader(&text, inSequencer, inSteps);
    inOut->Write(text.c_str());
    for (int track1 = 1; track1 <= inSequencer.GetTrackCount(); track1++) {
        text.clear();
        KRVGridText::AppendTrack(&text, inSequencer, track1, inSteps);
        inOut->Write(text.c_str());
    }
    text.clear();
    KRVGridText::AppendRuler(&text, inSteps);
    inOut->Write(text.c_str());
}

// The steps asked for: all, from first to the last, or first to last.
bool ReadSteps(const KRVArguments& inArguments, int inStepCount, Steps* outSteps) {
    *outSteps = {inArguments.Has(1) ? inArguments.GetValue(1) : 1,
                 inArguments.Has(2) ? inArguments.GetValue(2) : inStepCount};
    return outSteps->mFirst <= outSteps->mLast;
}

}  // namespace

KRVCommandResult KRVCommands::Display(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    KRVShellInterface* out = &ioContext.GetInterface();
    Steps steps;
    if (!ReadSteps(inArguments, sequencer.GetStepCount(), &steps)) {
        return ioContext.Refuse("bad step number\n");
    }
    int perBlock = KRVGridText::StepsPerBlock(out->GetColumns(), steps.mLast - steps.mFirst + 1);
    for (int first = steps.mFirst; first <= steps.mLast; first += perBlock) {
        if (first > steps.mFirst) {
            out->Write("\n");
        }
        WriteBlock(out, sequencer, {first, std::min(first + perBlock - 1, steps.mLast)});
    }
    return KRVCommandResult::kSucceeded;
}
