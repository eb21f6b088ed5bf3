// inputs, input and thru: which keyboard krv listens to, and where what it
// plays is heard at once.
#include <strings.h>

#include <string>
#include <vector>

#include "KRVCommandContext.h"
#include "KRVDestinations.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "model/KRVSequencer.h"

namespace {

bool IsWord(const char* inWord, const char* inExpected) {
    return strcasecmp(inWord, inExpected) == 0;
}

std::vector<std::string> ListSources(const KRVCommandContext& inContext) {
    const KRVDestinations* destinations = inContext.GetDestinations();
    return destinations != nullptr ? destinations->ListSources() : std::vector<std::string>();
}

void WriteInput(KRVCommandContext& ioContext) {
    KRVShellInterface& out = ioContext.GetInterface();
    const std::string& wanted = ioContext.GetSequencer().GetInputChoice().mSource;
    const KRVDestinations* destinations = ioContext.GetDestinations();
    if (wanted.empty()) {
        out.Write("listening to no MIDI source\n");
    } else if (destinations != nullptr && destinations->IsListening()) {
        out.WriteFormattedS("listening to %s\n", wanted.c_str());
    } else {
        out.WriteFormattedS("waiting for %s, listening once it is there\n", wanted.c_str());
    }
}

void WriteThru(KRVCommandContext& ioContext) {
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    KRVShellInterface& out = ioContext.GetInterface();
    int port = 0;
    int channel = 1;
    if (!sequencer.GetThruTarget(port, channel)) {
        out.Write(sequencer.GetInputChoice().mThru ? "thru to no port\n" : "thru off\n");
        return;
    }
    out.WriteFormattedDD("thru to port %d channel %d", port, channel);
    if (sequencer.GetInputChoice().IsDefaultThru()) {
        out.WriteFormattedD(", as track %d", sequencer.GetInputTrack());
    }
    out.Write("\n");
}

}  // namespace

// A number is a source as `inputs` counts them now; anything else a name.
bool KRVCommands::ReadSource(const KRVCommandContext& inContext, std::string_view inWord,
                             std::string* outName) {
    if (!KRVStartsWithDigit(inWord)) {
        *outName = inWord;
        return true;
    }
    const std::vector<std::string> sources = ListSources(inContext);
    const int index = KRVReadInt(inWord);
    if (index < 0 || index >= static_cast<int>(sources.size())) {
        return false;
    }
    *outName = sources[index];
    return true;
}

KRVCommandResult KRVCommands::Inputs(KRVCommandContext& ioContext, const KRVArguments&) {
    ioContext.FollowDestinations(true);
    const std::vector<std::string> sources = ListSources(ioContext);
    KRVShellInterface& out = ioContext.GetInterface();
    if (sources.empty()) {
        out.Write("no MIDI sources\n");
    }
    for (std::size_t i = 0; i < sources.size(); i++) {
        out.WriteFormattedD("input %d is ", static_cast<int>(i));
        out.WriteFormattedS("%s\n", sources[i].c_str());
    }
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Input(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        WriteInput(ioContext);
        return KRVCommandResult::kSucceeded;
    }
    KRVDestinations* destinations = ioContext.GetDestinations();
    const bool off = IsWord(inArguments.GetText(1), "off");
    std::string name;
    if (!off && !KRVCommands::ReadSource(ioContext, inArguments.Get(1), &name)) {
        return ioContext.Refuse("no such MIDI source (`inputs` lists them)\n");
    }
    if (destinations == nullptr) {
        ioContext.GetSequencer().GetInputChoice().mSource = name;
    } else if (!destinations->ListenTo(ioContext.GetInterface(), name)) {
        return KRVCommandResult::kFailed;
    }
    WriteInput(ioContext);
    return KRVCommandResult::kSucceeded;
}

// One word is "off", "on" (back to the track played into) or a port; two
// are a port and a channel or "off".
KRVCommandResult KRVCommands::Thru(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    KRVInputChoice choice = sequencer.GetInputChoice();
    if (inArguments.Has(1)) {
        const char* last = inArguments.GetText(inArguments.Has(2) ? 2 : 1);
        choice.mThru = !IsWord(last, "off");
        if (!inArguments.Has(2) && IsWord(last, "on")) {
            choice.mThruPort = KRVInputChoice::kFollowTrack;
            choice.mThruChannel = KRVInputChoice::kFollowTrack;
        } else if (!(!inArguments.Has(2) && !choice.mThru)) {
            const int port = inArguments.ReadInt(1);
            if (!KRVStartsWithDigit(inArguments.Get(1)) || port >= sequencer.GetPortCount()) {
                return ioContext.Refuse("bad port number\n");
            }
            int channel = KRVInputChoice::kFollowTrack;
            if (inArguments.Has(2) && choice.mThru &&
                !inArguments.ReadInRange(2, 1, 16, &channel)) {
                return ioContext.Refuse("bad channel number\n");
            }
            choice.mThruPort = port;
            choice.mThruChannel = channel;
        }
        sequencer.GetInputChoice() = choice;
        sequencer.UpdateThru();
    }
    WriteThru(ioContext);
    return KRVCommandResult::kSucceeded;
}

std::vector<std::string> KRVCommands::InputLines(const KRVSequencer& inSequencer) {
    const KRVInputChoice& choice = inSequencer.GetInputChoice();
    std::vector<std::string> lines;
    if (!choice.mSource.empty()) {
        lines.push_back("input " + KRVEscapeWord(choice.mSource));
    }
    if (!choice.mThru) {
        lines.push_back("thru off");
    } else if (choice.mThruPort != KRVInputChoice::kFollowTrack) {
        std::string line = "thru " + std::to_string(choice.mThruPort);
        if (choice.mThruChannel != KRVInputChoice::kFollowTrack) {
            line += " " + std::to_string(choice.mThruChannel);
        }
        lines.push_back(line);
    }
    return lines;
}
