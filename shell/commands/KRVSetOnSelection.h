#pragma once

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVCommands.h"
#include "model/KRVSequencer.h"

// What the commands that write one number into every selected event share:
// the value goes through the action (the sequencer clamps it by its rules)
// and the message says it with the count, "set velocity %d on %d selections".
template <typename Action>
KRVCommandResult KRVSetOnSelection(KRVCommandContext& ioContext, int inValue,
                                   const char* inFormat) {
    Action action(static_cast<unsigned char>(inValue));
    int count = ioContext.GetSequencer().RunSelection(&action);
    ioContext.GetInterface().WriteFormattedDD(inFormat, inValue, count);
    return KRVCommandResult::kSucceeded;
}
