// selectevery, copysteps, pastesteps, clearsteps, euclid, chance, ratchet,
// setlength, swing, tie, untie, legato:
// the selection narrowed to a beat, ranges of steps copied and pasted,
// Euclidean rhythms as mutes, how often, how many times and how long a
// step plays, how late every second step comes, notes tied over, and
// tracks whose notes run into the next.
// Steps are 1-based here.
#include <strings.h>

#include <cstdio>
#include <string>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "actions/KRVSelectionActions.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVSetOnSelection.h"
#include "model/KRVSequencer.h"

namespace {

// A message of three numbers, which the interface's writes do not take.
void WriteDDD(KRVCommandContext& ioContext, const char* inFormat, int inFirst, int inSecond,
              int inThird) {
    char text[128];
    std::snprintf(text, sizeof text, inFormat, inFirst, inSecond, inThird);
    ioContext.GetInterface().Write(text);
}

KRVCommandResult ListLegato(KRVCommandContext& ioContext) {
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    bool any = false;
    for (int track1 = 1; track1 <= sequencer.GetTrackCount(); track1++) {
        if (sequencer.GetTrack(track1).IsLegato()) {
            ioContext.GetInterface().WriteFormattedD("legato on track %d\n", track1);
            any = true;
        }
    }
    if (!any) {
        ioContext.GetInterface().Write("no track plays legato\n");
    }
    return KRVCommandResult::kSucceeded;
}

}  // namespace

// Like sel4, it narrows: the count is of the events selected before.
KRVCommandResult KRVCommands::SelectEvery(KRVCommandContext& ioContext,
                                          const KRVArguments& inArguments) {
    const int every = inArguments.GetValue(1);
    const int first1 = inArguments.Has(2) ? inArguments.GetValue(2) : 1;
    KRVSelectionSelectEvery narrow(every, first1);
    int count = ioContext.GetSequencer().RunSelection(&narrow);
    WriteDDD(ioContext, "selected every %d steps from step %d within %d selections\n", every,
             first1, count);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::CopySteps(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    const int from1 = inArguments.GetValue(1);
    const int to1 = inArguments.GetValue(2);
    if (to1 < from1) {
        return ioContext.Refuse("bad to step number\n");
    }
    int tracks = ioContext.GetSequencer().CopySteps(from1, to1);
    WriteDDD(ioContext, "copied steps %d to %d of %d tracks\n", from1, to1, tracks);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::PasteSteps(KRVCommandContext& ioContext,
                                         const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    if (!sequencer.HasCopiedSteps()) {
        return ioContext.Refuse("no steps copied\n");
    }
    const int at1 = inArguments.GetValue(1);
    int dropped = 0;
    int pasted = sequencer.PasteSteps(at1, &dropped);
    KRVShellInterface& out = ioContext.GetInterface();
    out.WriteFormattedDD("pasted %d events at step %d\n", pasted, at1);
    if (dropped > 0) {
        out.WriteFormattedD("dropped %d events past the grid\n", dropped);
    }
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::ClearSteps(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionResetEvent reset;
    int count = ioContext.GetSequencer().RunSelection(&reset);
    ioContext.GetInterface().WriteFormattedD("reset %d selections\n", count);
    return KRVCommandResult::kSucceeded;
}

// The loop bounds the hits, so the row's range alone cannot.
KRVCommandResult KRVCommands::Euclid(KRVCommandContext& ioContext,
                                     const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    const int hits = inArguments.GetValue(1);
    const int steps = sequencer.GetLoopStep() - 1;
    if (hits > steps) {
        return ioContext.Refuse("bad hit count\n");
    }
    int tracks = sequencer.MuteEuclid(hits, inArguments.GetValue(2));
    WriteDDD(ioContext, "spread %d hits over %d steps on %d tracks\n", hits, steps, tracks);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Chance(KRVCommandContext& ioContext,
                                     const KRVArguments& inArguments) {
    const int chance = inArguments.GetValue(1);
    return KRVSetOnSelection<KRVSelectionSetChance, "set chance %d%% on %d selections\n">(ioContext,
                                                                                          chance);
}

KRVCommandResult KRVCommands::Ratchet(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    const int ratchet = inArguments.GetValue(1);
    return KRVSetOnSelection<KRVSelectionSetRatchet, "set ratchet %d on %d selections\n">(ioContext,
                                                                                          ratchet);
}

KRVCommandResult KRVCommands::SetLength(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    const int length = inArguments.GetValue(1);
    return KRVSetOnSelection<KRVSelectionSetLength, "set length %d steps on %d selections\n">(
        ioContext, length);
}

KRVCommandResult KRVCommands::Swing(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    const int percent = inArguments.GetValue(1);
    KRVSequencer& sequencer = ioContext.GetSequencer();
    if (!inArguments.Has(2)) {
        sequencer.SetSwing(percent);
        ioContext.GetInterface().WriteFormattedD("set swing %d\n", percent);
        return KRVCommandResult::kSucceeded;
    }
    const int track1 = inArguments.GetValue(2);
    sequencer.SetTrackSwing(track1, percent);
    ioContext.GetInterface().WriteFormattedDD("set swing %d on track %d\n", percent, track1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Tie(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionSetTie action(true);
    int count = ioContext.GetSequencer().RunSelection(&action);
    ioContext.GetInterface().WriteFormattedD("tied %d selections\n", count);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Untie(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionSetTie action(false);
    int count = ioContext.GetSequencer().RunSelection(&action);
    ioContext.GetInterface().WriteFormattedD("untied %d selections\n", count);
    return KRVCommandResult::kSucceeded;
}

// Without a track, every track of the sequence; tracks made later play as
// they always have.
KRVCommandResult KRVCommands::Legato(KRVCommandContext& ioContext,
                                     const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ListLegato(ioContext);
    }
    const std::string word(inArguments.Get(1));
    const bool on = strcasecmp(word.c_str(), "on") == 0;
    if (!on && strcasecmp(word.c_str(), "off") != 0) {
        return ioContext.Refuse("need on or off\n");
    }
    KRVSequencer& sequencer = ioContext.GetSequencer();
    const char* state = on ? "on" : "off";
    if (inArguments.Has(2)) {
        const int track1 = inArguments.GetValue(2);
        sequencer.SetTrackLegato(track1, on);
        ioContext.GetInterface().WriteFormattedSD("legato %s track %d\n", state, track1);
        return KRVCommandResult::kSucceeded;
    }
    for (int track1 = 1; track1 <= sequencer.GetTrackCount(); track1++) {
        sequencer.SetTrackLegato(track1, on);
    }
    ioContext.GetInterface().WriteFormattedS("legato %s every track\n", state);
    return KRVCommandResult::kSucceeded;
}
