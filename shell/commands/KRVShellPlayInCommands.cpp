// stepentry and record: notes played in from the keyboard (KRVPlayIn).
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "KRVCommandContext.h"
#include "KRVPlayIn.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "model/KRVSequencer.h"

namespace {

using Sign = KRVArguments::SignRule;
using Mode = KRVLiveRecording::Mode;

// Keys come while the prompt waits, so a take is started at the prompt
// only, from the keyboard chosen with input; "off" ends it anywhere.
// Empty when it may start.
std::string RefusalToStart(const KRVCommandContext& inContext, const char* inCommand) {
    if (inContext.GetShell().IsReadingScript()) {
        return std::string(inCommand) + " works at the prompt only, not in a script\n";
    }
    if (inContext.GetPlayIn() == nullptr || !inContext.GetPlayIn()->HasInput()) {
        return "no input to play in from (input SOURCE chooses one)\n";
    }
    return std::string();
}

// The take's undo step is named after the line that starts it.
KRVUndoHistory::Label LabelOf(const KRVCommandContext& inContext) {
    const KRVCommandContext::Shell& shell = inContext.GetShell();
    const auto [number, line] = shell.GetHistoryEntryByIndex(shell.GetHistoryCount() - 1);
    return {number, line};
}

// The loop's last step, within the steps shown.
int LastLoopStep(const KRVSequencer& inSequencer) {
    return std::max(std::min(inSequencer.GetLoopStep() - 1, inSequencer.GetStepCount()), 1);
}

// The first selected event, or track 1 step 1; a step past the loop gives
// its track's first step.
std::pair<int, int> DefaultPosition(const KRVSequencer& inSequencer) {
    const std::vector<std::pair<int, int>> selected = inSequencer.GetSelectedEvents0();
    if (selected.empty()) {
        return {1, 1};
    }
    const int step1 = selected.front().second + 1;
    return {selected.front().first + 1, step1 <= LastLoopStep(inSequencer) ? step1 : 1};
}

KRVCommandResult End(KRVCommandContext& ioContext, bool inOn, const char* inWhat) {
    if (!inOn) {
        ioContext.GetInterface().WriteFormattedS("%s is not on\n", inWhat);
        return KRVCommandResult::kSucceeded;
    }
    ioContext.GetPlayIn()->End();
    return KRVCommandResult::kSucceeded;
}

}  // namespace

// stepentry [track [step]] | stepentry off
KRVCommandResult KRVCommands::StepEntry(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    KRVPlayIn* playIn = ioContext.GetPlayIn();
    if (inArguments.Get(1) == "off") {
        return End(ioContext, playIn != nullptr && playIn->IsSteppingIn(), "step entry");
    }
    if (const std::string refusal = RefusalToStart(ioContext, "stepentry"); !refusal.empty()) {
        return ioContext.Refuse(refusal.c_str());
    }
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    auto [track1, step1] = DefaultPosition(sequencer);
    const bool zeroBased = ioContext.IsMigrationMode();
    if (inArguments.Has(1) && !inArguments.ReadPosition(1, sequencer.GetTrackCount(),
                                                        Sign::kDigitFirst, &track1, zeroBased)) {
        return ioContext.Refuse("bad track number\n");
    }
    step1 = inArguments.Has(1) ? 1 : step1;
    if (inArguments.Has(2) && !inArguments.ReadPosition(2, LastLoopStep(sequencer),
                                                        Sign::kDigitFirst, &step1, zeroBased)) {
        return ioContext.Refuse("bad step number\n");
    }
    playIn->StartStepEntry(track1, step1, ioContext.GetShell().GetUndoHistory(),
                           LabelOf(ioContext));
    return KRVCommandResult::kSucceeded;
}

// record [track] [replace|overdub] | record off
KRVCommandResult KRVCommands::Record(KRVCommandContext& ioContext,
                                     const KRVArguments& inArguments) {
    KRVPlayIn* playIn = ioContext.GetPlayIn();
    if (inArguments.Get(1) == "off") {
        return End(ioContext, playIn != nullptr && playIn->IsRecording(), "recording");
    }
    if (const std::string refusal = RefusalToStart(ioContext, "record"); !refusal.empty()) {
        return ioContext.Refuse(refusal.c_str());
    }
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    if (!sequencer.IsPlaying()) {
        return ioContext.Refuse("not playing: record takes notes while the sequence plays\n");
    }
    int word = 1;
    int track1 = DefaultPosition(sequencer).first;
    const std::string first(inArguments.Get(1));
    if (inArguments.Has(1) && first != "replace" && first != "overdub") {
        if (!inArguments.ReadPosition(1, sequencer.GetTrackCount(), Sign::kDigitFirst, &track1,
                                      ioContext.IsMigrationMode())) {
            return ioContext.Refuse("bad track number\n");
        }
        word = 2;
    }
    const std::string mode(inArguments.Get(word));
    if (!mode.empty() && mode != "replace" && mode != "overdub") {
        return ioContext.Refuse("need replace or overdub\n");
    }
    playIn->StartRecording(track1, mode == "replace" ? Mode::kReplace : Mode::kOverdub,
                           ioContext.GetShell().GetUndoHistory(), LabelOf(ioContext));
    return KRVCommandResult::kSucceeded;
}
