// play, pause, stop, reset, bpm and status.
#include <algorithm>
#include <cstdio>
#include <string>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "model/KRVSequencer.h"

KRVCommandResult KRVCommands::Play(KRVCommandContext& ioContext, const KRVArguments&) {
    if (RefusesOwnTransport(ioContext)) {
        return KRVCommandResult::kFailed;
    }
    ioContext.FollowDestinations();
    ioContext.TellOutputGone(true);
    int error = ioContext.GetSequencer().Play();
    // Said once the clock runs: an output nobody reads holds up no music.
    ioContext.ExplainSilence();
    if (error != 0) {
        ioContext.GetInterface().WriteFormattedD("KRVSequencer: PrimeTimeTask returned error %d \n",
                                                 error);
        return KRVCommandResult::kFailed;
    }
    return KRVCommandResult::kSucceeded;
}

// The position is kept, but the next play starts from the top anyway.
KRVCommandResult KRVCommands::Pause(KRVCommandContext& ioContext, const KRVArguments&) {
    if (RefusesOwnTransport(ioContext)) {
        return KRVCommandResult::kFailed;
    }
    ioContext.StopPlayback();
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Stop(KRVCommandContext& ioContext, const KRVArguments&) {
    if (RefusesOwnTransport(ioContext)) {
        return KRVCommandResult::kFailed;
    }
    ioContext.StopPlayback();
    ioContext.GetSequencer().Reset();
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Reset(KRVCommandContext& ioContext, const KRVArguments&) {
    if (RefusesOwnTransport(ioContext)) {
        return KRVCommandResult::kFailed;
    }
    ioContext.GetSequencer().Reset();
    return KRVCommandResult::kSucceeded;
}

// "120", "90.5": as typed, without the trailing zeros a script keeps.
std::string KRVCommands::TempoText(double inBPM) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g bpm", inBPM);
    return text;
}

namespace {

std::string Count(int inCount, const char* inThing) {
    return std::to_string(inCount) + " " + inThing + (inCount == 1 ? "" : "s");
}

}  // namespace

// The steps the loop plays, as display shows them: the rest of a bar its
// steps do not divide is no step.
std::string KRVCommands::LoopText(const KRVSequencer& inSequencer) {
    int last = std::min(inSequencer.GetLoopStep() - 1, inSequencer.GetStepCount());
    return last < 1 ? "loop of no steps" : "loop 1-" + std::to_string(last);
}

// A tempo that gives no usable clock (0, negative, not a number, or above
// 25,000) is refused. Without a word, the tempo is shown.
KRVCommandResult KRVCommands::BPM(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    const double measured = ioContext.GetSequencer().GetClockBPM();
    if (!inArguments.Has(1) && measured > 0) {
        const std::string tempo = MeasuredTempoText(measured);
        ioContext.GetInterface().WriteFormattedS("%s from the clock\n", tempo.c_str());
        return KRVCommandResult::kSucceeded;
    }
    if (!inArguments.Has(1)) {
        std::string tempo = TempoText(ioContext.GetSequencer().GetBPM());
        ioContext.GetInterface().WriteFormattedS("%s\n", tempo.c_str());
        return KRVCommandResult::kSucceeded;
    }
    // Kept as typed, in double precision, so that a saved tempo (a file's
    // or the command line's too) reads back as it was.
    double bpm = KRVReadDouble(inArguments.Get(1));
    if (!ioContext.GetSequencer().SetBPM(bpm)) {
        ioContext.GetInterface().WriteFormattedS("%s: having trouble parsing bpm\n",
                                                 inArguments.GetText(1));
        return KRVCommandResult::kFailed;
    }
    return KRVCommandResult::kSucceeded;
}

// One line: transport, tempo, grid, loop, size, and whether anything is
// unsaved.
KRVCommandResult KRVCommands::Status(KRVCommandContext& ioContext, const KRVArguments&) {
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    std::string line = sequencer.IsPlaying()
                           ? "playing step " + std::to_string(sequencer.GetCurrentStep() + 1)
                           : std::string("stopped");
    line += ", " + TempoText(sequencer.GetBPM());
    line += ", scale " + std::to_string(sequencer.GetBarCount()) + " " +
            std::to_string(sequencer.GetStepCount());
    line += ", " + LoopText(sequencer);
    line += ", " + Count(sequencer.GetTrackCount(), "track");
    line += ", " + Count(sequencer.GetPortCount(), "port");
    if (const std::string system = ioContext.GetMIDISystemName(); !system.empty()) {
        line += " (" + system + ")";
    }
    if (sequencer.GetTransportMode() != KRVSequencer::TransportMode::kOff) {
        line += ", " + TransportText(sequencer);
        if (sequencer.GetTransportBPM() > 0) {
            line += " at " + TempoText(sequencer.GetTransportBPM());
        }
    }
    if (sequencer.IsFollowingClock()) {
        line += ", " + ClockInText(sequencer);
        if (sequencer.GetClockBPM() > 0) {
            line += " at " + MeasuredTempoText(sequencer.GetClockBPM());
        }
    }
    if (ioContext.GetShell().HasUnsavedChanges()) {
        line += ", unsaved changes";
    }
    ioContext.GetInterface().WriteFormattedS("%s\n", line.c_str());
    return KRVCommandResult::kSucceeded;
}
