// selectall, selecttrack, selectstep, selectevent, unselecttrack,
// unselectstep, unselectevent, clearselection, invertselection,
// selectquarternotes, selecteighthnotes. Tracks and steps are 1-based here.
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "actions/KRVSelectionActions.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "model/KRVSequencer.h"

namespace {

using Sign = KRVArguments;

// The step of selectstep and unselectstep; 0 after a refusal.
int ReadStep(KRVShell& ioShell, const KRVArguments& inArguments) {
    int step1 = 0;
    if (!inArguments.Has(1)) {
        ioShell.Refuse("need step number\n");
        return 0;
    }
    int steps = ioShell.GetSequencer().GetStepCount();
    if (!inArguments.ReadPosition(1, steps, Sign::kSignAllowed, &step1)) {
        ioShell.Refuse("bad step number\n");
        return 0;
    }
    return step1;
}

KRVCommandResult ReportNarrowed(KRVShell& ioShell, int inDivision, const char* inFormat) {
    KRVSelectionSelectByClockDivision narrow(inDivision);
    int count = ioShell.GetSequencer().RunSelection(&narrow);
    ioShell.GetInterface().WriteFormattedD(inFormat, count);
    return KRVCommandResult::kSucceeded;
}

}  // namespace

KRVCommandResult KRVCommands::SelectAll(KRVShell& ioShell, const KRVArguments&) {
    int count = ioShell.GetSequencer().SelectAll();
    ioShell.GetInterface().WriteFormattedD("selected %d events\n", count);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::SelectTrack(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    int track1 = 0;
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need track param\n");
    }
    if (!inArguments.ReadPosition(1, sequencer.GetTrackCount(), Sign::kDigitFirst, &track1)) {
        return ioShell.Refuse("bad track number\n");
    }
    sequencer.SelectTrack(track1);
    ioShell.GetInterface().WriteFormattedD("selected track %d\n", track1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::UnSelectTrack(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    int track1 = 0;
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need track number\n");
    }
    if (!inArguments.ReadPosition(1, sequencer.GetTrackCount(), Sign::kSignAllowed, &track1)) {
        return ioShell.Refuse("bad track number\n");
    }
    sequencer.UnSelectTrack(track1);
    ioShell.GetInterface().WriteFormattedD("unselected track %d\n", track1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::SelectStep(KRVShell& ioShell, const KRVArguments& inArguments) {
    int step1 = ReadStep(ioShell, inArguments);
    if (step1 == 0) {
        return KRVCommandResult::kFailed;
    }
    ioShell.GetSequencer().SelectStep(step1);
    ioShell.GetInterface().WriteFormattedD("selected step %d\n", step1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::UnSelectStep(KRVShell& ioShell, const KRVArguments& inArguments) {
    int step1 = ReadStep(ioShell, inArguments);
    if (step1 == 0) {
        return KRVCommandResult::kFailed;
    }
    ioShell.GetSequencer().UnSelectStep(step1);
    ioShell.GetInterface().WriteFormattedD("unselected step %d\n", step1);
    return KRVCommandResult::kSucceeded;
}

// Saved selections address events with this command, so it is the one that
// reads old 0-based scripts.
KRVCommandResult KRVCommands::SelectEvent(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    KRVShellInterface& out = ioShell.GetInterface();
    if (!inArguments.Has(2)) {
        return ioShell.Refuse("need track & step param\n");
    }
    bool zeroBased = ioShell.IsMigrationMode();
    if (zeroBased) {
        out.Write("migration mode: bumping track & step numbers\n");
    }
    int track1 = 0;
    int step1 = 0;
    if (!inArguments.ReadPosition(1, sequencer.GetTrackCount(), Sign::kSignAllowed, &track1,
                                  zeroBased)) {
        return ioShell.Refuse("bad track number\n");
    }
    if (!inArguments.ReadPosition(2, sequencer.GetStepCount(), Sign::kSignAllowed, &step1,
                                  zeroBased)) {
        out.WriteFormattedD("bad step number %d\n", step1);
        return KRVCommandResult::kFailed;
    }
    sequencer.SelectEvent(track1, step1);
    out.WriteFormattedDD("selected track %d step %d\n", track1, step1);
    return KRVCommandResult::kSucceeded;
}

// Numbers as typed, migration mode or not.
KRVCommandResult KRVCommands::UnSelectEvent(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    if (!inArguments.Has(2)) {
        return ioShell.Refuse("need track & step param\n");
    }
    int track1 = 0;
    int step1 = 0;
    if (!inArguments.ReadPosition(1, sequencer.GetTrackCount(), Sign::kSignAllowed, &track1)) {
        return ioShell.Refuse("bad track number\n");
    }
    if (!inArguments.ReadPosition(2, sequencer.GetStepCount(), Sign::kSignAllowed, &step1)) {
        return ioShell.Refuse("bad step number\n");
    }
    sequencer.UnSelectEvent(track1, step1);
    ioShell.GetInterface().WriteFormattedDD("unselected track %d step %d\n", track1, step1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::ClearSelection(KRVShell& ioShell, const KRVArguments&) {
    KRVSelectionClear clear;
    ioShell.GetSequencer().RunSelection(&clear);
    ioShell.GetInterface().Write("cleared selection\n");
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::InvertSelection(KRVShell& ioShell, const KRVArguments&) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    for (int track1 = 1; track1 <= sequencer.GetTrackCount(); track1++) {
        for (int step1 = 1; step1 <= sequencer.GetStepCount(); step1++) {
            sequencer.InvertSelect(track1, step1);
        }
    }
    ioShell.GetInterface().Write("inverted selection\n");
    return KRVCommandResult::kSucceeded;
}

// The count is of the events selected before narrowing, not of those kept.
KRVCommandResult KRVCommands::SelectQuarterNotes(KRVShell& ioShell, const KRVArguments&) {
    return ReportNarrowed(ioShell, 4, "selected quarter notes within %d selections\n");
}

KRVCommandResult KRVCommands::SelectEighthNotes(KRVShell& ioShell, const KRVArguments&) {
    return ReportNarrowed(ioShell, 8, "selected eighth notes within %d selections\n");
}
