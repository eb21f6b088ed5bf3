// clockin: following the MIDI clock of another sequencer.
#include <strings.h>

#include <cstdio>
#include <string>

#include "KRVCommandContext.h"
#include "KRVDestinations.h"
#include "KRVShellInterface.h"
#include "MIDICLException.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "model/KRVSequencer.h"

namespace {

// Only a source that is there now: a clock that is not running is
// nothing to follow.
KRVCommandResult Follow(KRVCommandContext& ioContext, const std::string& inWord) {
    KRVDestinations* destinations = ioContext.GetDestinations();
    std::string name;
    const MIDICLEndpointRef endpoint =
        destinations != nullptr && KRVCommands::ReadSource(ioContext, inWord, &name)
            ? destinations->FindSource(name)
            : MIDICLEndpointRef{};
    if (!endpoint.IsValid()) {
        return ioContext.Refuse("no such MIDI source (`inputs` lists them)\n");
    }
    using Result = KRVSequencer::ClockInResult;
    Result result = Result::kNoThread;
    try {
        result = ioContext.GetSequencer().FollowClock(destinations->GetInputPortMaker("clock in"),
                                                      endpoint, name);
    } catch (const MIDICLException&) {
        const std::string refusal = "could not listen to " + name + "\n";
        return ioContext.Refuse(refusal.c_str());
    }
    switch (result) {
        case Result::kDone:
            return KRVCommandResult::kSucceeded;
        case Result::kTransportOn:
            return ioContext.Refuse("need transport off to follow a clock\n");
        case Result::kNoThread:
            break;
    }
    return ioContext.Refuse("could not start following the clock\n");
}

}  // namespace

std::string KRVCommands::ClockInText(const KRVSequencer& inSequencer) {
    return "clockin " +
           (inSequencer.IsFollowingClock() ? inSequencer.GetClockSourceName() : std::string("off"));
}

// The name as a script reads it back: spaces escaped.
std::string KRVCommands::ClockInLine(const KRVSequencer& inSequencer) {
    return "clockin " + KRVEscapeWord(inSequencer.GetClockSourceName());
}

std::string KRVCommands::MeasuredTempoText(double inBPM) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f bpm", inBPM);
    return text;
}

// Alone it says which clock is followed; with a source it follows that one
// instead, with off krv's own again.
KRVCommandResult KRVCommands::ClockIn(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    if (inArguments.Has(1)) {
        const std::string word(inArguments.Get(1));
        if (strcasecmp(word.c_str(), "off") == 0) {
            sequencer.StopFollowingClock();
        } else if (Follow(ioContext, word) != KRVCommandResult::kSucceeded) {
            return KRVCommandResult::kFailed;
        }
    }
    ioContext.GetInterface().WriteFormattedS("%s\n", ClockInText(sequencer).c_str());
    return KRVCommandResult::kSucceeded;
}

// play, pause, stop and reset are the clock's while it is followed.
bool KRVCommands::RefusesOwnTransport(KRVCommandContext& ioContext) {
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    if (!sequencer.IsFollowingClock()) {
        return false;
    }
    const std::string refusal = "following the clock of " + sequencer.GetClockSourceName() +
                                ": its Start and Stop play (clockin off for krv's own)\n";
    ioContext.Refuse(refusal.c_str());
    return true;
}
