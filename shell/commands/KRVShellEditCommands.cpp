// setnote, setvelocity, setgatetime, setport, setchannel, changenote,
// changechannel, fitkey, the mute and solo commands, rotate, vary, vary2.
// Each reports the number of selected events visited, changed or not.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "actions/KRVSelectionActions.h"
#include "actions/KRVSelectionFitToKey.h"
#include "actions/KRVSelectionFitToScale.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVSetOnSelection.h"
#include "commands/KRVWords.h"
#include "console/KRVAnswer.h"
#include "model/KRVSequencer.h"

namespace {

bool IsChannel(int inChannel) {
    return inChannel >= 1 && inChannel <= 16;
}

// A channel name gives its port and channel; otherwise the word is a channel
// number 1 to 16 and the port stays as the caller set it. False when the word
// is neither.
bool ReadChannel(const KRVSequencer& inSequencer, std::string_view inWord, int* ioPort,
                 int* outChannel) {
    if (inSequencer.GetNamedChannel(inWord, ioPort, outChannel)) {
        return true;
    }
    *outChannel = KRVReadInt(inWord);
    return IsChannel(*outChannel);
}

// A port number as an unsigned "%lu" reading: a negative number wraps to a
// huge value, and a word with no number leaves port 0.
unsigned long ReadPort(const char* inWord) {
    // strtoul reads as sscanf's %lu does (it is what that calls), and
    // gives 0 where there is no number.
    return std::strtoul(inWord, nullptr, 10);
}

// Which key a word names: a number 0 to 17 or a key name in any case; -1
// when it names none. outByNumber tells which reading was made; outMinor
// that the name had an "m" after it (Am, the key of A minor).
int ReadKey(const char* inWord, bool* outByNumber, bool* outMinor) {
    *outByNumber = KRVStartsWithDigit(inWord);
    *outMinor = false;
    if (*outByNumber) {
        int key = KRVReadInt(inWord);
        return key < KRVSelectionFitToKey::GetKeyNameCount() ? key : -1;
    }
    for (int key = 0; key < KRVSelectionFitToKey::GetKeyNameCount(); key++) {
        const std::string name =
            KRVSelectionFitToKey::GetKeyName(static_cast<KRVSelectionFitToKey::Key>(key));
        if (strcasecmp(inWord, name.c_str()) == 0) {
            return key;
        }
        if (strcasecmp(inWord, (name + "m").c_str()) == 0) {
            *outMinor = true;
            return key;
        }
    }
    return -1;
}

// The scale after the key: the rest of the line, as one name may be two
// words ("harmonic minor"); empty for none.
std::string ScaleWords(const KRVArguments& inArguments) {
    std::string words(inArguments.Get(2));
    for (int index = 3; index <= inArguments.GetCount(); index++) {
        words += ' ';
        words += inArguments.Get(index);
    }
    return words;
}

// The scale after the key, or the major or minor one the key names alone:
// its notes, and its name as the report follows the key with it ("m",
// " dorian"; outName starts empty). A refusal when the words name no scale, or follow a minor key.
const char* ReadScale(const KRVArguments& inArguments, bool inMinor,
                      KRVSelectionFitToScale::PitchClasses* outPitchClasses, std::string* outName) {
    using Fit = KRVSelectionFitToScale;
    const std::string words = ScaleWords(inArguments);
    if (words.empty()) {
        *outPitchClasses = inMinor ? Fit::GetMinor() : Fit::GetMajor();
        if (inMinor) {
            *outName = "m";
        }
        return nullptr;
    }
    if (inMinor) {
        return "bad key name\n";
    }
    const int scale = Fit::FindScale(words);
    if (scale < 0) {
        return "bad scale name\n";
    }
    *outPitchClasses = Fit::GetPitchClasses(scale);
    *outName = " ";
    *outName += Fit::GetScaleName(scale);
    return nullptr;
}

// The pitch class of a key's root: Cb is B.
int RootOf(KRVSelectionFitToKey::Key inKey) {
    return (KRVEvent::ParseNoteNumber(KRVSelectionFitToKey::GetKeyName(inKey)) % 12 + 12) % 12;
}

// The mute and solo commands take no argument: run, then report the count.
template <KRVAnswerFormat kFormat>
KRVCommandResult RunAndReport(KRVCommandContext& ioContext, KRVSelectionAction* inAction) {
    const int count = ioContext.GetSequencer().RunSelection(inAction);
    ioContext.GetInterface().WriteSized(KRVAnswer<kFormat>(count).View());
    return KRVCommandResult::kSucceeded;
}

}  // namespace

KRVCommandResult KRVCommands::SetNote(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    const int note = inArguments.GetValue(1);
    KRVSelectionSetNote action(static_cast<unsigned char>(note));
    int count = ioContext.GetSequencer().RunSelection(&action);
    std::string name = KRVEvent::FormatNoteNumber(static_cast<unsigned char>(note));
    ioContext.GetInterface().WriteSized(
        KRVAnswer<"set note %s on %d selections\n">(name.c_str(), count).View());
    return KRVCommandResult::kSucceeded;
}

// Velocity 0 is a silent step, as randomvelocity makes them and save writes
// them. A word that is no number also reads as 0, so 0 must be typed.
KRVCommandResult KRVCommands::SetVelocity(KRVCommandContext& ioContext,
                                          const KRVArguments& inArguments) {
    const int velocity = inArguments.GetValue(1);
    if (velocity == 0 && !KRVStartsWithDigit(inArguments.Get(1))) {
        return ioContext.Refuse("need velocity 0-127\n");
    }
    return KRVSetOnSelection<KRVSelectionSetVelocity, "set velocity %d on %d selections\n">(
        ioContext, velocity);
}

KRVCommandResult KRVCommands::SetGateTime(KRVCommandContext& ioContext,
                                          const KRVArguments& inArguments) {
    const int gate = inArguments.GetValue(1);
    return KRVSetOnSelection<KRVSelectionSetGateTime, "set gate %d%% on %d selections\n">(ioContext,
                                                                                          gate);
}

KRVCommandResult KRVCommands::SetPort(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    unsigned long port = ReadPort(inArguments.GetText(1));
    if (port >= static_cast<unsigned long>(ioContext.GetSequencer().GetPortCount())) {
        return ioContext.Refuse("bad port number\n");
    }
    KRVSelectionSetPort action(static_cast<unsigned char>(port));
    int count = ioContext.GetSequencer().RunSelection(&action);
    ioContext.GetInterface().WriteSized(
        KRVAnswer<"set port %lu on %d selections\n">(port, count).View());
    return KRVCommandResult::kSucceeded;
}

// A channel name sets its port as well as its channel.
KRVCommandResult KRVCommands::SetChannel(KRVCommandContext& ioContext,
                                         const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    const std::string_view word = inArguments.Get(1);
    int port = 0;
    int channel = 0;
    if (sequencer.GetNamedChannel(word, &port, &channel)) {
        // Names are only given to ports that exist (0 to 255 at most).
        KRVSelectionSetPort setPort(static_cast<unsigned char>(port));
        sequencer.RunSelection(&setPort);
        KRVSelectionSetChannel setChannel(static_cast<unsigned char>(channel));
        int count = sequencer.RunSelection(&setChannel);
        ioContext.GetInterface().WriteFormattedSD("set port/channel %s on %d selections\n",
                                                  inArguments.GetText(1), count);
        return KRVCommandResult::kSucceeded;
    }
    channel = KRVReadInt(word);
    if (!IsChannel(channel)) {
        return ioContext.Refuse("need channel 1-16\n");
    }
    KRVSelectionSetChannel action(static_cast<unsigned char>(channel));
    int count = sequencer.RunSelection(&action);
    ioContext.GetInterface().WriteSized(
        KRVAnswer<"set channel %d on %d selections\n">(channel, count).View());
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::ChangeNote(KRVCommandContext& ioContext,
                                         const KRVArguments& inArguments) {
    const int fromNote = inArguments.GetValue(1);
    const int toNote = inArguments.GetValue(2);
    KRVSelectionChangeNote action(static_cast<unsigned char>(fromNote),
                                  static_cast<unsigned char>(toNote));
    int count = ioContext.GetSequencer().RunSelection(&action);
    std::string name = KRVEvent::FormatNoteNumber(static_cast<unsigned char>(toNote));
    ioContext.GetInterface().WriteSized(
        KRVAnswer<"set note %s on %d selections\n">(name.c_str(), count).View());
    return KRVCommandResult::kSucceeded;
}

// A channel number leaves the port open: any port matches on the from side,
// and the port is kept on the to side.
KRVCommandResult KRVCommands::ChangeChannel(KRVCommandContext& ioContext,
                                            const KRVArguments& inArguments) {
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    int fromPort = KRVSelectionChangeChannel::kAnyPort;
    int fromChannel = 0;
    if (!ReadChannel(sequencer, inArguments.Get(1), &fromPort, &fromChannel)) {
        return ioContext.Refuse("bad from channel/name\n");
    }
    int toPort = KRVSelectionChangeChannel::kAnyPort;
    int toChannel = 0;
    if (!ReadChannel(sequencer, inArguments.Get(2), &toPort, &toChannel)) {
        return ioContext.Refuse("bad to channel/name\n");
    }
    KRVSelectionChangeChannel action(fromPort, fromChannel, toPort, toChannel);
    int count = ioContext.GetSequencer().RunSelection(&action);
    ioContext.GetInterface().WriteFormattedD("changed channel on %d selections\n", count);
    return KRVCommandResult::kSucceeded;
}

// Key numbers count from 0, unlike tracks and steps. A key alone, or with
// "major", fits by the key's own table; a minor key or any other scale moves
// each note to the nearest note of the scale.
KRVCommandResult KRVCommands::FitToKey(KRVCommandContext& ioContext,
                                       const KRVArguments& inArguments) {
    bool byNumber = false;
    bool minor = false;
    int key = ReadKey(inArguments.GetText(1), &byNumber, &minor);
    if (key < 0) {
        return ioContext.Refuse(byNumber ? "bad key number\n" : "bad key name\n");
    }
    KRVSelectionFitToScale::PitchClasses pitchClasses = 0;
    std::string scaleName;
    if (const char* refusal = ReadScale(inArguments, minor, &pitchClasses, &scaleName)) {
        return ioContext.Refuse(refusal);
    }
    auto fitKey = static_cast<KRVSelectionFitToKey::Key>(key);
    KRVSelectionFitToKey byKey(fitKey);
    KRVSelectionFitToScale byScale(RootOf(fitKey), pitchClasses);
    KRVSelectionAction* action = pitchClasses == KRVSelectionFitToScale::GetMajor()
                                     ? static_cast<KRVSelectionAction*>(&byKey)
                                     : &byScale;
    int count = ioContext.GetSequencer().RunSelection(action);
    const std::string name = KRVSelectionFitToKey::GetKeyName(fitKey) + scaleName;
    ioContext.GetInterface().WriteFormattedSD("fit %s on %d selections\n", name.c_str(), count);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Mute(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionMute action;
    return RunAndReport<"muted %d selections\n">(ioContext, &action);
}

KRVCommandResult KRVCommands::UnMute(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionUnMute action;
    return RunAndReport<"unmuted %d selections\n">(ioContext, &action);
}

KRVCommandResult KRVCommands::InvertMute(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionInvertMute action;
    return RunAndReport<"inverted mute status on %d selections\n">(ioContext, &action);
}

KRVCommandResult KRVCommands::HSolo(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionHSolo action;
    return RunAndReport<"h-soloed %d selections\n">(ioContext, &action);
}

KRVCommandResult KRVCommands::HUnSolo(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionHUnSolo action;
    return RunAndReport<"h-unsoloed %d selections\n">(ioContext, &action);
}

KRVCommandResult KRVCommands::VSolo(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionVSolo action;
    return RunAndReport<"v-soloed %d selections\n">(ioContext, &action);
}

KRVCommandResult KRVCommands::VUnSolo(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionVUnSolo action;
    return RunAndReport<"v-unsoloed %d selections\n">(ioContext, &action);
}

// A negative count rotates backwards; the report shows the count as read.
KRVCommandResult KRVCommands::Rotate(KRVCommandContext& ioContext,
                                     const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    int rotations = inArguments.ReadInt(1);
    int count = rotations >= 0 ? sequencer.RotateSelectionForwards(rotations)
                               : sequencer.RotateSelectionBackwards(rotations);
    ioContext.GetInterface().WriteFormattedDD("rotated %d selections %d times\n", count, rotations);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Vary(KRVCommandContext& ioContext, const KRVArguments&) {
    int count = ioContext.GetSequencer().VarySelection();
    ioContext.GetInterface().WriteFormattedD("varied %d selections\n", count);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Vary2(KRVCommandContext& ioContext, const KRVArguments&) {
    int count = ioContext.GetSequencer().VarySelection2();
    ioContext.GetInterface().WriteFormattedD("varied %d selections\n", count);
    return KRVCommandResult::kSucceeded;
}
