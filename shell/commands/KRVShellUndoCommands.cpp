// undo and redo, and what the shell keeps for them and for telling unsaved
// changes.
#include <memory>

#include "KRVCommandContext.h"
#include "KRVPlayIn.h"
#include "KRVShellInterface.h"
#include "KRVUndoHistory.h"
#include "commands/KRVCommands.h"
#include "model/KRVSequencer.h"

namespace {

using Label = KRVUndoHistory::Label;
using Step = bool (KRVUndoHistory::*)(KRVSequencer&, Label*);

// A script's commands belong to the typed command that read it, so a
// script cannot step back over them.
KRVCommandResult TakeStep(KRVCommandContext& ioContext, Step inStep, const char* inDone,
                          const char* inNothing) {
    KRVUndoHistory* history = ioContext.GetShell().GetUndoHistory();
    if (history == nullptr && ioContext.GetShell().IsReadingScript()) {
        return ioContext.Refuse("can't undo or redo from a script\n");
    }
    // A take still on ends, and is the step undo takes back.
    if (history != nullptr && ioContext.GetPlayIn() != nullptr) {
        ioContext.GetPlayIn()->End();
    }
    Label label;
    if (history == nullptr || !(history->*inStep)(ioContext.GetSequencer(), &label)) {
        return ioContext.Refuse(inNothing);
    }
    ioContext.GetInterface().WriteFormattedD(inDone, label.mNumber);
    ioContext.GetInterface().WriteFormattedS("%s\n", label.mLine.c_str());
    return KRVCommandResult::kSucceeded;
}

}  // namespace

KRVCommandResult KRVCommands::Undo(KRVCommandContext& ioContext, const KRVArguments&) {
    return TakeStep(ioContext, &KRVUndoHistory::Undo, "undid %d: ", "nothing to undo\n");
}

KRVCommandResult KRVCommands::Redo(KRVCommandContext& ioContext, const KRVArguments&) {
    return TakeStep(ioContext, &KRVUndoHistory::Redo, "redid %d: ", "nothing to redo\n");
}
