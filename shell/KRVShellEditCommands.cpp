// setnote, setvelocity, setgatetime, setport, setchannel, changenote,
// changechannel, fitkey, the mute and solo commands, rotate, vary, vary2.
// Each reports the number of selected events visited, changed or not.
#include <strings.h>

#include <cstdio>
#include <string>

#include "KRVSelectionChangeChannel.h"
#include "KRVSelectionChangeNote.h"
#include "KRVSelectionFitToKey.h"
#include "KRVSelectionHSolo.h"
#include "KRVSelectionHUnSolo.h"
#include "KRVSelectionInvertMute.h"
#include "KRVSelectionMute.h"
#include "KRVSelectionSetChannel.h"
#include "KRVSelectionSetGateTime.h"
#include "KRVSelectionSetNote.h"
#include "KRVSelectionSetPort.h"
#include "KRVSelectionSetVelocity.h"
#include "KRVSelectionUnMute.h"
#include "KRVSelectionVSolo.h"
#include "KRVSelectionVUnSolo.h"
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVWords.h"

namespace {

// A note number or name in 0 to 127; false for a word that is neither.
bool ReadNote(const char* inWord, int* outNote) {
    return KRVReadNote(inWord, outNote) && *outNote >= 0 && *outNote <= 127;
}

bool IsChannel(int inChannel) {
    return inChannel >= 1 && inChannel <= 16;
}

// A channel name gives its port and channel; otherwise the word is a channel
// number 1 to 16 and the port stays as the caller set it. False when the word
// is neither.
bool ReadChannel(const KRVSequencer* inSequencer, const char* inWord, int* ioPort,
                 int* outChannel) {
    if (inSequencer->GetNamedChannel(inWord, ioPort, outChannel)) {
        return true;
    }
    *outChannel = KRVReadInt(inWord);
    return IsChannel(*outChannel);
}

// A port number as an unsigned "%lu" reading: a negative number wraps to a
// huge value, and a word with no number leaves port 0.
unsigned long ReadPort(const char* inWord) {
    unsigned long port = 0;
    std::sscanf(inWord, "%lu", &port);
    return port;
}

// Which key a word names: a number 0 to 17 or a key name in any case; -1
// when it names none. outByNumber tells which reading was made.
int ReadKey(const char* inWord, bool* outByNumber) {
    *outByNumber = KRVStartsWithDigit(inWord);
    if (*outByNumber) {
        int key = KRVReadInt(inWord);
        return key < KRVSelectionFitToKey::GetKeyNameCount() ? key : -1;
    }
    for (int key = 0; key < KRVSelectionFitToKey::GetKeyNameCount(); key++) {
        auto named = static_cast<KRVSelectionFitToKey::Key>(key);
        if (strcasecmp(inWord, KRVSelectionFitToKey::GetKeyName(named)) == 0) {
            return key;
        }
    }
    return -1;
}

// The mute and solo commands take no argument: run, then report the count.
void RunAndReport(KRVSequencer* inSequencer, KRVShellInterface* inOut, KRVSelectionAction* inAction,
                  const char* inFormat) {
    inOut->WriteFormattedD(inFormat, inSequencer->RunSelection(inAction));
}

}  // namespace

int KRVShell::SetNote(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need note param\n")) {
        return 0;
    }
    int note = 0;
    if (!ReadNote(inShell->GetParam(1), &note)) {
        out->Write("bad note name/number\n");
        return 0;
    }
    KRVSelectionSetNote action(static_cast<unsigned char>(note));
    int count = inShell->mSequencer->RunSelection(&action);
    std::string name = KRVEvent::FormatNoteNumber(static_cast<unsigned char>(note));
    out->WriteFormattedSD("set note %s on %d selections\n", name.c_str(), count);
    return 0;
}

int KRVShell::SetVelocity(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    // Velocity 0 would be a note-off, so it is refused.
    int velocity = 0;
    if (!inShell->NeedParams(1, "need velocity param\n") ||
        !inShell->ReadParamInRange(1, 1, 127, "need velocity 1-127\n", &velocity)) {
        return 0;
    }
    KRVSelectionSetVelocity action(static_cast<unsigned char>(velocity));
    int count = inShell->mSequencer->RunSelection(&action);
    out->WriteFormattedDD("set velocity %d on %d selections\n", velocity, count);
    return 0;
}

int KRVShell::SetGateTime(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    int gate = 0;
    if (!inShell->NeedParams(1, "need gate percent param\n") ||
        !inShell->ReadParamInRange(1, 0, 90, "need gate 0-90\n", &gate)) {
        return 0;
    }
    KRVSelectionSetGateTime action(static_cast<unsigned char>(gate));
    int count = inShell->mSequencer->RunSelection(&action);
    out->WriteFormattedDD("set gate %d%% on %d selections\n", gate, count);
    return 0;
}

int KRVShell::SetPort(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need port param\n")) {
        return 0;
    }
    unsigned long port = ReadPort(inShell->GetParam(1));
    if (port >= static_cast<unsigned long>(inShell->mSequencer->GetPortCount())) {
        out->Write("bad port number\n");
        return 0;
    }
    KRVSelectionSetPort action(static_cast<unsigned char>(port));
    int count = inShell->mSequencer->RunSelection(&action);
    out->WriteFormattedLUD("set port %lu on %d selections\n", port, count);
    return 0;
}

int KRVShell::SetChannel(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    KRVSequencer* sequencer = inShell->mSequencer;
    if (!inShell->NeedParams(1, "need channel/name\n")) {
        return 0;
    }
    const char* word = inShell->GetParam(1);
    int port = 0;
    int channel = 0;
    if (sequencer->GetNamedChannel(word, &port, &channel)) {
        // Names are only given to ports that exist (0 to 255 at most).
        KRVSelectionSetPort setPort(static_cast<unsigned char>(port));
        sequencer->RunSelection(&setPort);
        KRVSelectionSetChannel setChannel(static_cast<unsigned char>(channel));
        int count = sequencer->RunSelection(&setChannel);
        out->WriteFormattedSD("set port/channel %s on %d selections\n", word, count);
        return 0;
    }
    channel = KRVReadInt(word);
    if (!IsChannel(channel)) {
        out->Write("need channel 1-16\n");
        return 0;
    }
    KRVSelectionSetChannel action(static_cast<unsigned char>(channel));
    int count = sequencer->RunSelection(&action);
    out->WriteFormattedDD("set channel %d on %d selections\n", channel, count);
    return 0;
}

int KRVShell::ChangeNote(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(2, "need from note/name and to note/name\n")) {
        return 0;
    }
    // The to note is not even read while the from note is bad.
    int fromNote = 0;
    if (!ReadNote(inShell->GetParam(1), &fromNote)) {
        out->Write("bad from note name/number\n");
        return 0;
    }
    int toNote = 0;
    if (!ReadNote(inShell->GetParam(2), &toNote)) {
        out->Write("bad to note name/number\n");
        return 0;
    }
    KRVSelectionChangeNote action(static_cast<unsigned char>(fromNote),
                                  static_cast<unsigned char>(toNote));
    int count = inShell->mSequencer->RunSelection(&action);
    std::string name = KRVEvent::FormatNoteNumber(static_cast<unsigned char>(toNote));
    out->WriteFormattedSD("set note %s on %d selections\n", name.c_str(), count);
    return 0;
}

int KRVShell::ChangeChannel(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    KRVSequencer* sequencer = inShell->mSequencer;
    if (!inShell->NeedParams(2, "need from channel/name and to channel/name\n")) {
        return 0;
    }
    // A channel number leaves the port open: any port matches on the from
    // side, and the port is kept on the to side.
    int fromPort = KRVSelectionChangeChannel::kAnyPort;
    int fromChannel = 0;
    if (!ReadChannel(sequencer, inShell->GetParam(1), &fromPort, &fromChannel)) {
        out->Write("bad from channel/name\n");
        return 0;
    }
    int toPort = KRVSelectionChangeChannel::kAnyPort;
    int toChannel = 0;
    if (!ReadChannel(sequencer, inShell->GetParam(2), &toPort, &toChannel)) {
        out->Write("bad to channel/name\n");
        return 0;
    }
    KRVSelectionChangeChannel action(fromPort, fromChannel, toPort, toChannel);
    int count = sequencer->RunSelection(&action);
    out->WriteFormattedD("changed channel on %d selections\n", count);
    return 0;
}

int KRVShell::FitToKey(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need key name or number\n")) {
        return 0;
    }
    // Key numbers count from 0, unlike tracks and steps.
    bool byNumber = false;
    int key = ReadKey(inShell->GetParam(1), &byNumber);
    if (key < 0) {
        out->Write(byNumber ? "bad key number\n" : "bad key name\n");
        return 0;
    }
    auto fitKey = static_cast<KRVSelectionFitToKey::Key>(key);
    KRVSelectionFitToKey action(fitKey);
    int count = inShell->mSequencer->RunSelection(&action);
    out->WriteFormattedSD("fit %s on %d selections\n", KRVSelectionFitToKey::GetKeyName(fitKey),
                          count);
    return 0;
}

int KRVShell::Mute(KRVShell* inShell) {
    KRVSelectionMute action;
    RunAndReport(inShell->mSequencer, inShell->mInterface, &action, "muted %d selections\n");
    return 0;
}

int KRVShell::UnMute(KRVShell* inShell) {
    KRVSelectionUnMute action;
    RunAndReport(inShell->mSequencer, inShell->mInterface, &action, "unmuted %d selections\n");
    return 0;
}

int KRVShell::InvertMute(KRVShell* inShell) {
    KRVSelectionInvertMute action;
    RunAndReport(inShell->mSequencer, inShell->mInterface, &action,
                 "inverted mute status on %d selections\n");
    return 0;
}

int KRVShell::HSolo(KRVShell* inShell) {
    KRVSelectionHSolo action;
    RunAndReport(inShell->mSequencer, inShell->mInterface, &action, "h-soloed %d selections\n");
    return 0;
}

int KRVShell::HUnSolo(KRVShell* inShell) {
    KRVSelectionHUnSolo action;
    RunAndReport(inShell->mSequencer, inShell->mInterface, &action, "h-unsoloed %d selections\n");
    return 0;
}

int KRVShell::VSolo(KRVShell* inShell) {
    KRVSelectionVSolo action;
    RunAndReport(inShell->mSequencer, inShell->mInterface, &action, "v-soloed %d selections\n");
    return 0;
}

int KRVShell::VUnSolo(KRVShell* inShell) {
    KRVSelectionVUnSolo action;
    RunAndReport(inShell->mSequencer, inShell->mInterface, &action, "v-unsoloed %d selections\n");
    return 0;
}

int KRVShell::Rotate(KRVShell* inShell) {
    if (!inShell->NeedParams(1, "need rotation count\n")) {
        return 0;
    }
    // A negative count rotates backwards; the report shows the count as read.
    int rotations = KRVReadInt(inShell->GetParam(1));
    int count = rotations >= 0 ? inShell->mSequencer->RotateSelectionForwards(rotations)
                               : inShell->mSequencer->RotateSelectionBackwards(rotations);
    inShell->mInterface->WriteFormattedDD("rotated %d selections %d times\n", count, rotations);
    return 0;
}

int KRVShell::Vary(KRVShell* inShell) {
    int count = inShell->mSequencer->VarySelection();
    inShell->mInterface->WriteFormattedD("varied %d selections\n", count);
    return 0;
}

int KRVShell::Vary2(KRVShell* inShell) {
    int count = inShell->mSequencer->VarySelection2();
    inShell->mInterface->WriteFormattedD("varied %d selections\n", count);
    return 0;
}
