#include "commands/KRVCommandTable.h"

#include <array>
#include <iterator>
#include <string_view>

#include "commands/KRVCommands.h"

namespace {

// Every command word and short form, for lookup by word: every line of a
// script is looked up, so the table is open-addressed, with room to spare,
// and hashed on a word's length and three of its characters, which tell the
// words apart well enough and cost next to nothing.
class KRVWordTable {
public:
    // A word already in the table keeps the row it has.
    void Add(std::string_view inWord, const KRVCommand* inCommand) {
        std::size_t slot = Hash(inWord);
        while (mEntries[slot].mCommand != nullptr) {
            if (mEntries[slot].mWord == inWord) {
                return;
            }
            slot = (slot + 1) % kSlots;
        }
        mEntries[slot] = {inWord, inCommand};
    }
    const KRVCommand* Find(std::string_view inWord) const {
        if (inWord.empty()) {
            return nullptr;
        }
        for (std::size_t slot = Hash(inWord); mEntries[slot].mCommand != nullptr;
             slot = (slot + 1) % kSlots) {
            if (mEntries[slot].mWord == inWord) {
                return mEntries[slot].mCommand;
            }
        }
        return nullptr;
    }

private:
    // Over twice the words there are, so that every probe is short.
    static constexpr std::size_t kSlots = 256;
    struct Entry {
        std::string_view mWord;
        const KRVCommand* mCommand = nullptr;
    };
    static std::size_t Hash(std::string_view inWord) {
        const auto at = [&inWord](std::size_t inIndex) {
            return static_cast<std::size_t>(static_cast<unsigned char>(inWord[inIndex]));
        };
        return (inWord.size() * 97 + at(0) * 31 + at(inWord.size() / 2) * 7 +
                at(inWord.size() - 1)) %
               kSlots;
    }
    std::array<Entry, kSlots> mEntries{};
};

using A = KRVArgumentKind;
using C = KRVCommands;

// The order is the order of lookup and of help, older than any theme: it
// stays as users know it.
const KRVCommand kCommands[] = {
    {"clearselection", "clear", "clear selection", {}, C::ClearSelection},
    {"copytrack", "copyt", "copy track (from to)", {A::kTrack, A::kTrack}, C::CopyTrack},
    {"bpm", "", "set bpm (bpm)", {A::kNumber}, C::BPM},
    {"changechannel", "", "changechannel (from to)", {A::kChannel, A::kChannel}, C::ChangeChannel},
    {"changenote", "", "changenote (from to)", {A::kNote, A::kNote}, C::ChangeNote},
    {"default", "", "default sequence", {}, C::DefaultSequence},
    {"deleteconfig", "", "delete config", {}, C::DeleteConfig},
    {"deletesequence", "", "delete sequence", {}, C::DeleteSequence},
    {"deletetrack", "delt", "delete track", {A::kTrack}, C::DeleteTrack},
    {"display", "di", "display sequence", {A::kStep, A::kStep}, C::Display},
    {"exportsmf", "", "export (smf file)", {A::kFile, A::kHeard}, C::ExportSMF},
    {"fitkey", "", "fit to key (key)", {A::kKey}, C::FitToKey},
    {"help", "", "display this message", {}, C::Help},
    {"history", "", "display command history", {}, C::History},
    {"hsolo", "hs", "horizontal solo", {}, C::HSolo},
    {"hunsolo", "hu", "horizontal unsolo", {}, C::HUnSolo},
    {"importsmf", "", "import (smf file)", {A::kFile, A::kTimed}, C::ImportSMF},
    {"invertmute", "im", "invert mute", {}, C::InvertMute},
    {"invertselection", "is", "invert selection", {}, C::InvertSelection},
    {"load", "", "delete sequence and read (file)", {A::kFile}, C::Load},
    {"migration", "", "load 0-based scripts", {A::kText}, C::Migration},
    {"mute", "mu", "mute", {}, C::Mute},
    {"mutetrack", "mt", "mute track (track)", {A::kTrack}, C::MuteTrack},
    // The port comes first when three words follow, so the first word is
    // only known to be a number.
    {"namechannel",
     "",
     "name channel [port] (channel)",
     {A::kNumber, A::kNumber, A::kText},
     C::NameChannel},
    {"newtrack", "newt", "new track [track]", {A::kTrack}, C::NewTrack},
    {"pause", "", "pause", {}, C::Pause},
    {"play", "", "play", {}, C::Play},
    {"ports", "", "list output ports", {}, C::Ports},
    {"quit", "", "stop & quit", {}, C::Quit},
    {"read", "", "read script (file)", {A::kFile}, C::Read},
    {"reset", "", "reset clock", {}, C::Reset},
    {"randomchannel",
     "",
     "randomise channel [base range]",
     {A::kNumber, A::kNumber},
     C::RandomiseChannel},
    {"randomgate", "", "randomise gate [base range]", {A::kNumber, A::kNumber}, C::RandomiseGate},
    {"randommute", "", "randomise mute", {}, C::RandomiseMute},
    {"randomnote", "", "randomise note [base range]", {A::kNote, A::kNumber}, C::RandomiseNote},
    {"randomport", "", "randomise port [base range]", {A::kPort, A::kNumber}, C::RandomisePort},
    {"randomvelocity",
     "",
     "randomise velocity [base range]",
     {A::kNumber, A::kNumber},
     C::RandomiseVelocity},
    {"rotate", "", "rotate [count]", {A::kNumber}, C::Rotate},
    {"save", "", "save (file)", {A::kFile}, C::Save},
    {"saveconfig", "", "save configuration (file)", {A::kFile}, C::SaveConfig},
    {"saveselection", "savesel", "save selection script (file)", {A::kFile}, C::SaveSelection},
    {"selectall", "", "select all", {}, C::SelectAll},
    {"selecteighthnotes", "sel8", "select eighth notes within selection", {}, C::SelectEighthNotes},
    {"selectevent", "sele", "select event (track step)", {A::kTrack, A::kStep}, C::SelectEvent},
    {"selectquarternotes",
     "sel4",
     "select quarter notes within selection",
     {},
     C::SelectQuarterNotes},
    {"selectstep", "sels", "select step (step)", {A::kStep}, C::SelectStep},
    {"selecttrack", "selt", "select track (track)", {A::kTrack}, C::SelectTrack},
    {"setchannel", "", "set channel (channel)", {A::kChannel}, C::SetChannel},
    {"setgatetime", "setgate", "set gate (percent)", {A::kNumber}, C::SetGateTime},
    {"setloop", "", "set loop (step)", {A::kStep}, C::SetLoop},
    {"setnote", "", "set note (note)", {A::kNote}, C::SetNote},
    {"setport", "", "set port (port)", {A::kPort}, C::SetPort},
    {"setscale", "", "set scale (bars, KRVShell::steps)", {A::kNumber, A::kNumber}, C::SetScale},
    {"setvelocity", "", "set velocity (velocity)", {A::kNumber}, C::SetVelocity},
    {"shell", "sh", "run shell command (command params)", {A::kHostCommand}, C::Shell},
    {"stop", "", "pause & reset", {}, C::Stop},
    {"unmute", "unmu", "unmute", {}, C::UnMute},
    {"unmutetrack", "unmt", "unmute track (track)", {A::kTrack}, C::UnMuteTrack},
    {"unselectevent",
     "unsele",
     "unselect event (track step)",
     {A::kTrack, A::kStep},
     C::UnSelectEvent},
    {"unselectstep", "unsels", "unselect step (step)", {A::kStep}, C::UnSelectStep},
    {"unselecttrack", "unselt", "unselect track (track)", {A::kTrack}, C::UnSelectTrack},
    {"vary", "", "vary (algorithm 1)", {}, C::Vary},
    {"vary2", "", "vary (algorithm 2)", {}, C::Vary2},
    {"version", "ver", "print version", {}, C::Version},
    {"vsolo", "vs", "vertical solo", {}, C::VSolo},
    {"vunsolo", "vu", "vertical unsolo", {}, C::VUnSolo},
    // Rows from here on came after the ones users have known for long.
    {"program",
     "prog",
     "set program [port] (channel) [number]",
     {A::kChannel, A::kNumber, A::kNumber},
     C::Program},
    {"undo", "u", "undo last change", {}, C::Undo},
    {"redo", "re", "redo change undone", {}, C::Redo},
    {"status", "", "show play state, tempo, scale, loop and tracks", {}, C::Status},
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
    while (last > 0 && mArguments[last - 1] == A::kNone) {
        last--;
    }
    if (inWord1 <= last) {
        return mArguments[inWord1 - 1];
    }
    return last > 0 && mArguments[last - 1] == A::kHostCommand ? A::kHostCommand : A::kNone;
}

int KRVCommandTable::GetCount() {
    return static_cast<int>(std::size(kCommands));
}

const KRVCommand& KRVCommandTable::Get(int inRow) {
    return kCommands[inRow];
}

// Every line of a script is looked up, so the words go in a hash table once.
// Where a word names two rows (a command's word another's short form), the
// first row keeps it, as a search of the table in order would find it.
const KRVCommand* KRVCommandTable::Find(const std::string& inWord) {
    static const KRVWordTable sByWord = [] {
        KRVWordTable byWord;
        for (const KRVCommand& command : kCommands) {
            byWord.Add(command.mName, &command);
            if (command.HasAlias()) {
                byWord.Add(command.mAlias, &command);
            }
        }
        return byWord;
    }();
    return sByWord.Find(inWord);
}
