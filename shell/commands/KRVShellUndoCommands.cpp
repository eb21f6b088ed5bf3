// undo and redo, and what the shell keeps for them and for telling unsaved
// changes.
#include <memory>

#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVUndoHistory.h"
#include "commands/KRVCommands.h"
#include "model/KRVSequencer.h"

void KRVShell::StartTracking() {
    mUndoHistory = std::make_unique<KRVUndoHistory>(*mSequencer);
    mSavedSequence = mUndoHistory->GetPresent();
    mSavedConfig = mSavedSequence;
    mSavedPrograms = mSavedSequence;
}

// A save inside a script counts as soon as it is done, for the console.
void KRVShell::NoteSaved(SavedPart inPart) {
    KRVShell* outermost = mOutermostShell;
    if (outermost->mUndoHistory == nullptr) {
        return;
    }
    KRVSequencerState now = mSequencer->CaptureState(&outermost->mUndoHistory->GetPresent());
    outermost->mSavedPrograms = now;
    (inPart == kSavedSequence ? outermost->mSavedSequence : outermost->mSavedConfig) =
        std::move(now);
}

bool KRVShell::HasUnsavedChanges() const {
    const KRVShell* outermost = mOutermostShell;
    if (outermost->mUndoHistory == nullptr) {
        return false;
    }
    KRVSequencerState now = mSequencer->CaptureState(&outermost->mUndoHistory->GetPresent());
    return !now.HasSameSequence(outermost->mSavedSequence) ||
           !now.HasSameChannelNames(outermost->mSavedConfig) ||
           !now.HasSamePrograms(outermost->mSavedPrograms);
}

namespace {

using Label = KRVUndoHistory::Label;
using Step = bool (KRVUndoHistory::*)(KRVSequencer&, Label*);

// A script's commands belong to the typed command that read it, so a
// script cannot step back over them.
KRVCommandResult TakeStep(KRVShell& ioShell, Step inStep, const char* inDone,
                          const char* inNothing) {
    KRVUndoHistory* history = ioShell.GetUndoHistory();
    if (history == nullptr && ioShell.IsReadingScript()) {
        return ioShell.Refuse("can't undo or redo from a script\n");
    }
    Label label;
    if (history == nullptr || !(history->*inStep)(ioShell.GetSequencer(), &label)) {
        return ioShell.Refuse(inNothing);
    }
    ioShell.GetInterface().WriteFormattedD(inDone, label.mNumber);
    ioShell.GetInterface().WriteFormattedS("%s\n", label.mLine.c_str());
    return KRVCommandResult::kSucceeded;
}

}  // namespace

KRVCommandResult KRVCommands::Undo(KRVShell& ioShell, const KRVArguments&) {
    return TakeStep(ioShell, &KRVUndoHistory::Undo, "undid %d: ", "nothing to undo\n");
}

KRVCommandResult KRVCommands::Redo(KRVShell& ioShell, const KRVArguments&) {
    return TakeStep(ioShell, &KRVUndoHistory::Redo, "redid %d: ", "nothing to redo\n");
}
