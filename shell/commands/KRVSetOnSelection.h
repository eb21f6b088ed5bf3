#pragma once

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVCommands.h"
#include "console/KRVAnswer.h"
#include "model/KRVSequencer.h"

// What the commands that write one number into every selected event share:
// the value goes through the action (the sequencer clamps it by its rules)
// and the message kFormat says it with the count, "set velocity %d on %d
// selections\n".
template <typename Action, KRVAnswerFormat kFormat>
KRVCommandResult KRVSetOnSelection(KRVCommandContext& ioContext, int inValue) {
    Action action(static_cast<unsigned char>(inValue));
    int count = ioContext.GetSequencer().RunSelection(&action);
    ioContext.GetInterface().WriteSized(KRVAnswer<kFormat>(inValue, count).View());
    return KRVCommandResult::kSucceeded;
}
