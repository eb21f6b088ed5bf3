// clockin: following the MIDI clock of another sequencer.
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "KRVCommandContext.h"
#include "KRVDestinations.h"
#include "KRVShellInterface.h"
#include "MIDICLException.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "model/KRVSequencer.h"

namespace {

using Sources = std::vector<std::pair<MIDICLEndpointRef, std::string>>;

// A source's name may hold spaces ("Midi Through Port-0"): it is the rest
// of the line, its words one space apart.
std::string RestOfLine(const KRVArguments& inArguments) {
    std::string text = inArguments.Get(1);
    for (int i = 2; i <= inArguments.GetCount(); ++i) {
        text += " " + inArguments.Get(i);
    }
    return text;
}

bool IsNumber(const std::string& inWord) {
    for (const char c : inWord) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return !inWord.empty();
}

// By its number from 1, as `inputs` lists it, or by its name in any case;
// -1 for none.
int FindSource(const Sources& inSources, const std::string& inWord) {
    if (IsNumber(inWord)) {
        const unsigned long number = std::stoul(inWord.substr(0, 9));
        return number >= 1 && number <= inSources.size() ? int(number) - 1 : -1;
    }
    for (std::size_t i = 0; i < inSources.size(); ++i) {
        if (strcasecmp(inSources[i].second.c_str(), inWord.c_str()) == 0) {
            return int(i);
        }
    }
    return -1;
}

KRVCommandResult Follow(KRVCommandContext& ioContext, const std::string& inWord) {
    KRVDestinations* destinations = ioContext.GetDestinations();
    const Sources sources = destinations != nullptr ? destinations->ListSources() : Sources();
    const int index = FindSource(sources, inWord);
    if (index < 0) {
        const std::string refusal = "no source " + inWord + " here (inputs lists them)\n";
        return ioContext.Refuse(refusal.c_str());
    }
    const auto& [endpoint, name] = sources[std::size_t(index)];
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
        const std::string word = RestOfLine(inArguments);
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
