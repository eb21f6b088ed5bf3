// selectall, selecttrack, selectstep, selectevent, unselecttrack,
// unselectstep, unselectevent, clearselection, invertselection,
// selectquarternotes, selecteighthnotes. Tracks and steps are 1-based here.
#include "KRVSelectionClear.h"
#include "KRVSelectionSelectByClockDivision.h"
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVWords.h"

namespace {

bool IsTrack(const KRVSequencer* inSequencer, int inTrack1) {
    return inTrack1 >= 1 && inTrack1 <= inSequencer->GetTrackCount();
}

bool IsStep(const KRVSequencer* inSequencer, int inStep1) {
    return inStep1 >= 1 && inStep1 <= inSequencer->GetStepCount();
}

// Reads the step of selectstep and unselectstep (null when none was typed);
// 0 when it was refused.
int ReadStep(const char* inWord, const KRVSequencer* inSequencer, KRVShellInterface* inOut) {
    if (inWord == nullptr) {
        inOut->Write("need step number\n");
        return 0;
    }
    int step1 = KRVReadInt(inWord);
    if (!IsStep(inSequencer, step1)) {
        inOut->Write("bad step number\n");
        return 0;
    }
    return step1;
}

}  // namespace

int KRVShell::SelectAll(KRVShell* inShell) {
    int count = inShell->mSequencer->SelectAll();
    inShell->mInterface->WriteFormattedD("selected %d events\n", count);
    return 0;
}

int KRVShell::SelectTrack(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need track param\n")) {
        return 0;
    }
    // Signs are refused before the number is read.
    int track1 = KRVReadInt(inShell->GetParam(1));
    if (!KRVStartsWithDigit(inShell->GetParam(1)) || !IsTrack(inShell->mSequencer, track1)) {
        out->Write("bad track number\n");
        return 0;
    }
    inShell->mSequencer->SelectTrack(track1);
    out->WriteFormattedD("selected track %d\n", track1);
    return 0;
}

int KRVShell::UnSelectTrack(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need track number\n")) {
        return 0;
    }
    // Unlike selecttrack, a sign is read as part of the number.
    int track1 = KRVReadInt(inShell->GetParam(1));
    if (!IsTrack(inShell->mSequencer, track1)) {
        out->Write("bad track number\n");
        return 0;
    }
    inShell->mSequencer->UnSelectTrack(track1);
    out->WriteFormattedD("unselected track %d\n", track1);
    return 0;
}

int KRVShell::SelectStep(KRVShell* inShell) {
    const char* word = inShell->GetParamCount() >= 1 ? inShell->GetParam(1) : nullptr;
    if (int step1 = ReadStep(word, inShell->mSequencer, inShell->mInterface)) {
        inShell->mSequencer->SelectStep(step1);
        inShell->mInterface->WriteFormattedD("selected step %d\n", step1);
    }
    return 0;
}

int KRVShell::UnSelectStep(KRVShell* inShell) {
    const char* word = inShell->GetParamCount() >= 1 ? inShell->GetParam(1) : nullptr;
    if (int step1 = ReadStep(word, inShell->mSequencer, inShell->mInterface)) {
        inShell->mSequencer->UnSelectStep(step1);
        inShell->mInterface->WriteFormattedD("unselected step %d\n", step1);
    }
    return 0;
}

int KRVShell::SelectEvent(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(2, "need track & step param\n")) {
        return 0;
    }
    int track1 = KRVReadInt(inShell->GetParam(1));
    int step1 = KRVReadInt(inShell->GetParam(2));
    // Saved selections address events with this command, so it is the one
    // that reads old 0-based scripts.
    if (inShell->mMigrationMode) {
        out->Write("migration mode: bumping track & step numbers\n");
        track1 = KRVBumpForMigration(track1);
        step1 = KRVBumpForMigration(step1);
    }
    if (!IsTrack(inShell->mSequencer, track1)) {
        out->Write("bad track number\n");
        return 0;
    }
    if (!IsStep(inShell->mSequencer, step1)) {
        out->WriteFormattedD("bad step number %d\n", step1);
        return 0;
    }
    inShell->mSequencer->SelectEvent(track1, step1);
    out->WriteFormattedDD("selected track %d step %d\n", track1, step1);
    return 0;
}

int KRVShell::UnSelectEvent(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(2, "need track & step param\n")) {
        return 0;
    }
    // Numbers as typed, migration mode or not.
    int track1 = KRVReadInt(inShell->GetParam(1));
    int step1 = KRVReadInt(inShell->GetParam(2));
    if (!IsTrack(inShell->mSequencer, track1)) {
        out->Write("bad track number\n");
        return 0;
    }
    if (!IsStep(inShell->mSequencer, step1)) {
        out->Write("bad step number\n");
        return 0;
    }
    inShell->mSequencer->UnSelectEvent(track1, step1);
    out->WriteFormattedDD("unselected track %d step %d\n", track1, step1);
    return 0;
}

int KRVShell::ClearSelection(KRVShell* inShell) {
    KRVSelectionClear clear;
    inShell->mSequencer->RunSelection(&clear);
    inShell->mInterface->Write("cleared selection\n");
    return 0;
}

int KRVShell::InvertSelection(KRVShell* inShell) {
    KRVSequencer* sequencer = inShell->mSequencer;
    for (int track1 = 1; track1 <= sequencer->GetTrackCount(); track1++) {
        for (int step1 = 1; step1 <= sequencer->GetStepCount(); step1++) {
            sequencer->InvertSelect(track1, step1);
        }
    }
    inShell->mInterface->Write("inverted selection\n");
    return 0;
}

// The count is of the events selected before narrowing, not of those kept.
int KRVShell::SelectQuarterNotes(KRVShell* inShell) {
    KRVSelectionSelectByClockDivision quarters(4);
    int count = inShell->mSequencer->RunSelection(&quarters);
    inShell->mInterface->WriteFormattedD("selected quarter notes within %d selections\n", count);
    return 0;
}

int KRVShell::SelectEighthNotes(KRVShell* inShell) {
    KRVSelectionSelectByClockDivision eighths(8);
    int count = inShell->mSequencer->RunSelection(&eighths);
    inShell->mInterface->WriteFormattedD("selected eighth notes within %d selections\n", count);
    return 0;
}
