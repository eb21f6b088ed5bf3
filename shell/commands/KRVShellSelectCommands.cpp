// selectall, selecttrack, selectstep, selectevent, unselecttrack,
// unselectstep, unselectevent, clearselection, invertselection,
// selectquarternotes, selecteighthnotes. Tracks and steps are 1-based here.
#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "actions/KRVSelectionActions.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "console/KRVAnswer.h"
#include "model/KRVSequencer.h"

namespace {

using Sign = KRVArguments;

KRVCommandResult ReportNarrowed(KRVCommandContext& ioContext, int inDivision,
                                const char* inFormat) {
    KRVSelectionSelectByClockDivision narrow(inDivision);
    int count = ioContext.GetSequencer().RunSelection(&narrow);
    ioContext.GetInterface().WriteFormattedD(inFormat, count);
    return KRVCommandResult::kSucceeded;
}

}  // namespace

KRVCommandResult KRVCommands::SelectAll(KRVCommandContext& ioContext, const KRVArguments&) {
    int count = ioContext.GetSequencer().SelectAll();
    ioContext.GetInterface().WriteFormattedD("selected %d events\n", count);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::SelectTrack(KRVCommandContext& ioContext,
                                          const KRVArguments& inArguments) {
    const int track1 = inArguments.GetValue(1);
    ioContext.GetSequencer().SelectTrack(track1);
    ioContext.GetInterface().WriteFormattedD("selected track %d\n", track1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::UnSelectTrack(KRVCommandContext& ioContext,
                                            const KRVArguments& inArguments) {
    const int track1 = inArguments.GetValue(1);
    ioContext.GetSequencer().UnSelectTrack(track1);
    ioContext.GetInterface().WriteFormattedD("unselected track %d\n", track1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::SelectStep(KRVCommandContext& ioContext,
                                         const KRVArguments& inArguments) {
    const int step1 = inArguments.GetValue(1);
    ioContext.GetSequencer().SelectStep(step1);
    ioContext.GetInterface().WriteFormattedD("selected step %d\n", step1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::UnSelectStep(KRVCommandContext& ioContext,
                                           const KRVArguments& inArguments) {
    const int step1 = inArguments.GetValue(1);
    ioContext.GetSequencer().UnSelectStep(step1);
    ioContext.GetInterface().WriteFormattedD("unselected step %d\n", step1);
    return KRVCommandResult::kSucceeded;
}

// Saved selections address events with this command, so it is the one that
// reads old 0-based scripts.
KRVCommandResult KRVCommands::SelectEvent(KRVCommandContext& ioContext,
                                          const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    KRVShellInterface& out = ioContext.GetInterface();
    bool zeroBased = ioContext.IsMigrationMode();
    if (zeroBased) {
        out.Write("migration mode: bumping track & step numbers\n");
    }
    int track1 = 0;
    int step1 = 0;
    if (!inArguments.ReadPosition(1, sequencer.GetTrackCount(), Sign::kSignAllowed, &track1,
                                  zeroBased)) {
        return ioContext.Refuse("bad track number\n");
    }
    if (!inArguments.ReadPosition(2, sequencer.GetStepCount(), Sign::kSignAllowed, &step1,
                                  zeroBased)) {
        out.WriteFormattedD("bad step number %d\n", step1);
        return KRVCommandResult::kFailed;
    }
    sequencer.SelectEvent(track1, step1);
    out.WriteSized(KRVAnswer<"selected track %d step %d\n">(track1, step1).View());
    return KRVCommandResult::kSucceeded;
}

// Numbers as typed, migration mode or not.
KRVCommandResult KRVCommands::UnSelectEvent(KRVCommandContext& ioContext,
                                            const KRVArguments& inArguments) {
    const int track1 = inArguments.GetValue(1);
    const int step1 = inArguments.GetValue(2);
    ioContext.GetSequencer().UnSelectEvent(track1, step1);
    ioContext.GetInterface().WriteSized(
        KRVAnswer<"unselected track %d step %d\n">(track1, step1).View());
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::ClearSelection(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionClear clear;
    ioContext.GetSequencer().RunSelection(&clear);
    ioContext.GetInterface().Write("cleared selection\n");
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::InvertSelection(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    for (int track1 = 1; track1 <= sequencer.GetTrackCount(); track1++) {
        for (int step1 = 1; step1 <= sequencer.GetStepCount(); step1++) {
            sequencer.InvertSelect(track1, step1);
        }
    }
    ioContext.GetInterface().Write("inverted selection\n");
    return KRVCommandResult::kSucceeded;
}

// The count is of the events selected before narrowing, not of those kept.
KRVCommandResult KRVCommands::SelectQuarterNotes(KRVCommandContext& ioContext,
                                                 const KRVArguments&) {
    return ReportNarrowed(ioContext, 4, "selected quarter notes within %d selections\n");
}

KRVCommandResult KRVCommands::SelectEighthNotes(KRVCommandContext& ioContext, const KRVArguments&) {
    return ReportNarrowed(ioContext, 8, "selected eighth notes within %d selections\n");
}
