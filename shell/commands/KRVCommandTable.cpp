#include "commands/KRVCommandTable.h"

#include <climits>
#include <iterator>
#include <string_view>

#include "commands/KRVCommands.h"
#include "commands/KRVWordIndex.h"
#include "model/KRVSequencer.h"

namespace {

using A = KRVArgumentKind;
using C = KRVCommands;
using X = KRVChanges;

// An argument its handler reads in its own words.
constexpr KRVArgument Own(A inKind) {
    return {inKind};
}
constexpr KRVArgument Optional(KRVArgument inArgument) {
    inArgument.mOptional = true;
    return inArgument;
}
constexpr KRVArgument Maybe(A inKind) {
    return Optional(Own(inKind));
}
// A track or step number within the sequence, refused with inBad.
constexpr KRVArgument Track(const char* inBad, bool inSignAllowed = true) {
    return {A::kTrack, inBad, false, inSignAllowed};
}
constexpr KRVArgument Step(const char* inBad, bool inSignAllowed = true) {
    return {A::kStep, inBad, false, inSignAllowed};
}
// A note number or name, 0 to 127.
constexpr KRVArgument Note(const char* inBad) {
    return {A::kNote, inBad};
}
constexpr KRVArgument Number(int inLowest, int inHighest, const char* inBad) {
    return {A::kNumber, inBad, false, true, inLowest, inHighest};
}

constexpr const char* kNoFileToSave = "need file name to save to\n";
constexpr const char* kNoFileToLoad = "need file name to load from\n";

// The order is the order of lookup and of help, older than any theme: it
// stays as users know it.
const KRVCommand kCommands[] = {
    {"clearselection", "clear", "clear selection", {}, nullptr, X::kSequence, C::ClearSelection},
    {"copytrack",
     "copyt",
     "copy track (from to)",
     {Track("bad from track number\n"), Track("bad to track number\n")},
     "need from track and to track\n",
     X::kSequence,
     C::CopyTrack},
    {"bpm", "", "set bpm (bpm)", {Maybe(A::kNumber)}, nullptr, X::kSequence, C::BPM},
    {"changechannel",
     "",
     "changechannel (from to)",
     {Own(A::kChannel), Own(A::kChannel)},
     "need from channel/name and to channel/name\n",
     X::kSequence,
     C::ChangeChannel},
    // The to note is not even read while the from note is bad.
    {"changenote",
     "",
     "changenote (from to)",
     {Note("bad from note name/number\n"), Note("bad to note name/number\n")},
     "need from note/name and to note/name\n",
     X::kSequence,
     C::ChangeNote},
    {"default", "", "default sequence", {}, nullptr, X::kFromFile, C::DefaultSequence},
    {"deleteconfig", "", "delete config", {}, nullptr, X::kConfig, C::DeleteConfig},
    {"deletesequence", "", "delete sequence", {}, nullptr, X::kSequence, C::DeleteSequence},
    {"deletetrack",
     "delt",
     "delete track",
     {Track("bad track number\n", false)},
     "need track number\n",
     X::kSequence,
     C::DeleteTrack},
    // All steps, from the first given to the last, or first to last.
    {"display",
     "di",
     "display sequence",
     {Optional(Step("bad step number\n", false)), Optional(Step("bad step number\n", false))},
     nullptr,
     X::kNothing,
     C::Display},
    {"exportsmf",
     "",
     "export (smf file)",
     {Own(A::kFile), Maybe(A::kHeard)},
     "need file name to export to\n",
     X::kNothing,
     C::ExportSMF},
    {"fitkey",
     "",
     "fit to key (key)",
     {Own(A::kKey), Maybe(A::kScale)},
     "need key name or number\n",
     X::kSequence,
     C::FitToKey},
    {"help", "", "display this message", {}, nullptr, X::kNothing, C::Help},
    {"history", "", "display command history", {}, nullptr, X::kNothing, C::History},
    {"hsolo", "hs", "horizontal solo", {}, nullptr, X::kSequence, C::HSolo},
    {"hunsolo", "hu", "horizontal unsolo", {}, nullptr, X::kSequence, C::HUnSolo},
    {"importsmf",
     "",
     "import (smf file)",
     {Own(A::kFile), Maybe(A::kTimed)},
     "need a file name argument\n",
     X::kFromFile,
     C::ImportSMF},
    {"invertmute", "im", "invert mute", {}, nullptr, X::kSequence, C::InvertMute},
    {"invertselection", "is", "invert selection", {}, nullptr, X::kSequence, C::InvertSelection},
    {"load",
     "",
     "delete sequence and read (file)",
     {Own(A::kFile)},
     kNoFileToLoad,
     X::kFromFile,
     C::Load},
    {"migration",
     "",
     "load 0-based scripts",
     {Maybe(A::kText)},
     nullptr,
     X::kNothing,
     C::Migration},
    {"mute", "mu", "mute", {}, nullptr, X::kSequence, C::Mute},
    {"mutetrack",
     "mt",
     "mute track (track)",
     {Track("bad track number\n")},
     "need track number\n",
     X::kSequence,
     C::MuteTrack},
    // The port comes first when three words follow, so the first word is
    // only known to be a number.
    {"namechannel",
     "",
     "name channel [port] (channel)",
     {Own(A::kNumber), Own(A::kNumber), Maybe(A::kText)},
     "need channel, or port and channel\n",
     X::kConfig,
     C::NameChannel},
    // Migration mode moves the track given, so the handler reads it.
    {"newtrack",
     "newt",
     "new track [track]",
     {Maybe(A::kTrack)},
     nullptr,
     X::kSequence,
     C::NewTrack},
    {"pause", "", "pause", {}, nullptr, X::kNothing, C::Pause},
    {"play", "", "play", {}, nullptr, X::kNothing, C::Play},
    {"ports", "", "list output ports", {}, nullptr, X::kNothing, C::Ports},
    {"quit", "", "stop & quit", {}, nullptr, X::kNothing, C::Quit},
    {"read", "", "read script (file)", {Own(A::kFile)}, kNoFileToLoad, X::kFromFile, C::Read},
    {"reset", "", "reset clock", {}, nullptr, X::kNothing, C::Reset},
    // The random commands read their base and range together, as each
    // limits their sum.
    {"randomchannel",
     "",
     "randomise channel [base range]",
     {Maybe(A::kNumber), Maybe(A::kNumber)},
     nullptr,
     X::kSequence,
     C::RandomiseChannel},
    {"randomgate",
     "",
     "randomise gate [base range]",
     {Maybe(A::kNumber), Maybe(A::kNumber)},
     nullptr,
     X::kSequence,
     C::RandomiseGate},
    {"randommute", "", "randomise mute", {}, nullptr, X::kSequence, C::RandomiseMute},
    {"randomnote",
     "",
     "randomise note [base range]",
     {Maybe(A::kNote), Maybe(A::kNumber)},
     nullptr,
     X::kSequence,
     C::RandomiseNote},
    {"randomport",
     "",
     "randomise port [base range]",
     {Maybe(A::kPort), Maybe(A::kNumber)},
     nullptr,
     X::kSequence,
     C::RandomisePort},
    {"randomvelocity",
     "",
     "randomise velocity [base range]",
     {Maybe(A::kNumber), Maybe(A::kNumber)},
     nullptr,
     X::kSequence,
     C::RandomiseVelocity},
    // A count of any size: the handler rotates by what it reads.
    {"rotate",
     "",
     "rotate [count]",
     {Own(A::kNumber)},
     "need rotation count\n",
     X::kSequence,
     C::Rotate},
    {"save", "", "save (file)", {Own(A::kFile)}, kNoFileToSave, X::kNothing, C::Save},
    {"saveconfig",
     "",
     "save configuration (file)",
     {Own(A::kFile)},
     kNoFileToSave,
     X::kNothing,
     C::SaveConfig},
    {"saveselection",
     "savesel",
     "save selection script (file)",
     {Own(A::kFile)},
     kNoFileToSave,
     X::kNothing,
     C::SaveSelection},
    {"selectall", "", "select all", {}, nullptr, X::kSequence, C::SelectAll},
    {"selecteighthnotes",
     "sel8",
     "select eighth notes within selection",
     {},
     nullptr,
     X::kSequence,
     C::SelectEighthNotes},
    // Migration mode moves the event given, so the handler reads it.
    {"selectevent",
     "sele",
     "select event (track step)",
     {Own(A::kTrack), Own(A::kStep)},
     "need track & step param\n",
     X::kSequence,
     C::SelectEvent},
    {"selectquarternotes",
     "sel4",
     "select quarter notes within selection",
     {},
     nullptr,
     X::kSequence,
     C::SelectQuarterNotes},
    {"selectstep",
     "sels",
     "select step (step)",
     {Step("bad step number\n")},
     "need step number\n",
     X::kSequence,
     C::SelectStep},
    {"selecttrack",
     "selt",
     "select track (track)",
     {Track("bad track number\n", false)},
     "need track param\n",
     X::kSequence,
     C::SelectTrack},
    {"setchannel",
     "",
     "set channel (channel)",
     {Own(A::kChannel)},
     "need channel/name\n",
     X::kSequence,
     C::SetChannel},
    {"setgatetime",
     "setgate",
     "set gate (percent)",
     {Number(0, 90, "need gate 0-90\n")},
     "need gate percent param\n",
     X::kSequence,
     C::SetGateTime},
    // The loop may end one step past the steps that play.
    {"setloop",
     "",
     "set loop (step)",
     {{A::kStep, "bad step number\n", false, false, 0, 0, KRVArgument::kPastPlayed}},
     "need loop step param\n",
     X::kSequence,
     C::SetLoop},
    {"setnote",
     "",
     "set note (note)",
     {Note("bad note name/number\n")},
     "need note param\n",
     X::kSequence,
     C::SetNote},
    {"setport",
     "",
     "set port (port)",
     {Own(A::kPort)},
     "need port param\n",
     X::kSequence,
     C::SetPort},
    {"setscale",
     "",
     "set scale (bars, KRVShell::steps)",
     {Number(1, INT_MAX, "need sensible bars & steps\n"),
      Number(1, INT_MAX, "need sensible bars & steps\n")},
     "need bars & steps params\n",
     X::kSequence,
     C::SetScale},
    {"setvelocity",
     "",
     "set velocity (velocity)",
     {Number(0, 127, "need velocity 0-127\n")},
     "need velocity param\n",
     X::kSequence,
     C::SetVelocity},
    {"shell",
     "sh",
     "run shell command (command params)",
     {Own(A::kHostCommand)},
     "need shell command\n",
     X::kNothing,
     C::Shell},
    {"stop", "", "pause & reset", {}, nullptr, X::kNothing, C::Stop},
    {"unmute", "unmu", "unmute", {}, nullptr, X::kSequence, C::UnMute},
    {"unmutetrack",
     "unmt",
     "unmute track (track)",
     {Track("bad track number\n")},
     "need track number\n",
     X::kSequence,
     C::UnMuteTrack},
    {"unselectevent",
     "unsele",
     "unselect event (track step)",
     {Track("bad track number\n"), Step("bad step number\n")},
     "need track & step param\n",
     X::kSequence,
     C::UnSelectEvent},
    {"unselectstep",
     "unsels",
     "unselect step (step)",
     {Step("bad step number\n")},
     "need step number\n",
     X::kSequence,
     C::UnSelectStep},
    {"unselecttrack",
     "unselt",
     "unselect track (track)",
     {Track("bad track number\n")},
     "need track number\n",
     X::kSequence,
     C::UnSelectTrack},
    {"vary", "", "vary (algorithm 1)", {}, nullptr, X::kSequence, C::Vary},
    {"vary2", "", "vary (algorithm 2)", {}, nullptr, X::kSequence, C::Vary2},
    {"version", "ver", "print version", {}, nullptr, X::kNothing, C::Version},
    {"vsolo", "vs", "vertical solo", {}, nullptr, X::kSequence, C::VSolo},
    {"vunsolo", "vu", "vertical unsolo", {}, nullptr, X::kSequence, C::VUnSolo},
    // Rows from here on came after the ones users have known for long.
    // A port may come first; the handler reads which form it is.
    {"program",
     "prog",
     "set program [port] (channel) [number]",
     {Maybe(A::kChannel), Maybe(A::kNumber), Maybe(A::kNumber)},
     nullptr,
     X::kSequence,
     C::Program},
    {"undo", "u", "undo last change", {}, nullptr, X::kNothing, C::Undo},
    {"redo", "re", "redo change undone", {}, nullptr, X::kNothing, C::Redo},
    {"status",
     "",
     "show play state, tempo, scale, loop and tracks",
     {},
     nullptr,
     X::kNothing,
     C::Status},
    // Composer's tools: beats picked from the selection, step ranges,
    // Euclidean rhythms.
    {"selectevery",
     "",
     "select every nth step within selection (n) [first step]",
     {Number(1, KRVSequencer::kMaxSteps, "need step count 1-64\n"),
      Optional(Step("bad step number\n"))},
     "need step count\n",
     X::kSequence,
     C::SelectEvery},
    // What is copied is kept outside the sequence: nothing to save or undo.
    {"copysteps",
     "",
     "copy steps of selected tracks (from to)",
     {Step("bad from step number\n"), Step("bad to step number\n")},
     "need from step and to step\n",
     X::kNothing,
     C::CopySteps},
    {"pastesteps",
     "",
     "paste copied steps (step)",
     {Step("bad step number\n")},
     "need step number\n",
     X::kSequence,
     C::PasteSteps},
    {"clearsteps", "", "reset selected events", {}, nullptr, X::kSequence, C::ClearSteps},
    // The hits may not pass the loop's steps, which the handler checks.
    {"euclid",
     "",
     "euclidean mutes on selected tracks (hits) [rotation]",
     {Number(0, KRVSequencer::kMaxSteps, "bad hit count\n"),
      Optional(Number(-KRVSequencer::kMaxSteps, KRVSequencer::kMaxSteps, "bad rotation\n"))},
     "need hit count\n",
     X::kSequence,
     C::Euclid},
    // The live view.
    {"live",
     "",
     "live view of the grid, played and edited with keys",
     {},
     nullptr,
     X::kNothing,
     C::Live},
    // Playing with others: clock out and latency, per port.
    {"clock",
     "",
     "send MIDI clock [port] [on|off]",
     {Maybe(A::kPort), Maybe(A::kText)},
     nullptr,
     X::kSequence,
     C::Clock},
    {"latency",
     "",
     "set latency [port] [ms]",
     {Maybe(A::kPort), Maybe(A::kNumber)},
     nullptr,
     X::kSequence,
     C::Latency},
    // How the selected events play: on a share of the passes, several
    // times within their step, held over several steps.
    {"chance",
     "",
     "set chance of playing (percent)",
     {Number(0, KRVEvent::kAlwaysPlays, "need chance 0-100\n")},
     "need chance percent param\n",
     X::kSequence,
     C::Chance},
    {"ratchet",
     "",
     "set repeats within step (count)",
     {Number(1, KRVEvent::kMaxRatchet, "need ratchet 1-8\n")},
     "need ratchet count param\n",
     X::kSequence,
     C::Ratchet},
    {"setlength",
     "",
     "set length in steps (steps)",
     {Number(1, KRVSequencer::kMaxSteps, "need length 1-64\n")},
     "need length steps param\n",
     X::kSequence,
     C::SetLength},
    // Swing: every second step late, for the sequence or one track.
    {"swing",
     "",
     "set swing (percent) [track]",
     {Number(KRVSequencer::kStraightSwing, KRVSequencer::kMaxSwing, "need swing 50-75\n"),
      Optional(Track("bad track number\n"))},
     "need swing percent param\n",
     X::kSequence,
     C::Swing},
    // Ties: a note held over into the next step of the same note.
    {"tie", "", "tie selected events to next step", {}, nullptr, X::kSequence, C::Tie},
    {"untie", "", "untie selected events", {}, nullptr, X::kSequence, C::Untie},
    // Playing notes in: the keyboard krv listens to, and thru.
    {"inputs", "", "list MIDI sources", {}, nullptr, X::kNothing, C::Inputs},
    {"input",
     "",
     "listen to MIDI source [source|off]",
     {Maybe(A::kText)},
     nullptr,
     X::kNothing,
     C::Input},
    {"thru",
     "",
     "send what is played in [port] [channel|off]",
     {Maybe(A::kText), Maybe(A::kText)},
     nullptr,
     X::kNothing,
     C::Thru},
    // Playing with others: the JACK transport, followed or led. A setting
    // of the session, as channel names are: saved with the configuration.
    {"transport",
     "",
     "follow or lead JACK transport [off|follow|lead]",
     {Maybe(A::kText)},
     nullptr,
     X::kNothing,
     C::Transport},
    // Following another sequencer's MIDI clock; saved with the
    // configuration, as the transport is.
    {"clockin",
     "",
     "follow a source's MIDI clock [source|off]",
     {Maybe(A::kText)},
     nullptr,
     X::kNothing,
     C::ClockIn},
    // Played in from the keyboard: the keys change the sequence, not the
    // command, and a take is one undo step of its own (KRVPlayIn).
    {"stepentry",
     "",
     "enter notes step by step [track] [step]|off",
     {Maybe(A::kTrack), Maybe(A::kStep)},
     nullptr,
     X::kNothing,
     C::StepEntry},
    {"record",
     "",
     "record notes played [track] [replace|overdub]|off",
     {Maybe(A::kTrack), Maybe(A::kText)},
     nullptr,
     X::kNothing,
     C::Record},
    // Legato: a track's notes run into the next, for a mono synth to glide.
    {"legato",
     "",
     "play legato on|off [track]",
     {Maybe(A::kText), Optional(Track("bad track number\n"))},
     nullptr,
     X::kSequence,
     C::Legato},
};

}  // namespace

const char* KRVArgumentWord(KRVArgumentKind inKind) {
    switch (inKind) {
        case A::kHeard:
            return "heard";
        case A::kTimed:
            return "timed";
        default:
            return nullptr;
    }
}

KRVArgumentKind KRVCommand::GetArgumentKind(int inWord1) const {
    if (inWord1 < 1) {
        return A::kNone;
    }
    int last = kMaxArguments;
    while (last > 0 && mArguments[last - 1].mKind == A::kNone) {
        last--;
    }
    if (inWord1 <= last) {
        return mArguments[inWord1 - 1].mKind;
    }
    return last > 0 && mArguments[last - 1].mKind == A::kHostCommand ? A::kHostCommand : A::kNone;
}

int KRVCommandTable::GetCount() {
    return static_cast<int>(std::size(kCommands));
}

const KRVCommand& KRVCommandTable::Get(int inRow) {
    return kCommands[inRow];
}

// Where a word names two rows (a command's word another's short form), the
// first row keeps it, as a search of the table in order would find it.
const KRVCommand* KRVCommandTable::Find(std::string_view inWord) {
    static const KRVWordIndex<const KRVCommand*> sByWord = [] {
        KRVWordIndex<const KRVCommand*> byWord;
        for (const KRVCommand& command : kCommands) {
            byWord.Put(command.mName, &command);
            if (command.HasAlias()) {
                byWord.Put(command.mAlias, &command);
            }
        }
        return byWord;
    }();
    return sByWord.Find(inWord);
}
