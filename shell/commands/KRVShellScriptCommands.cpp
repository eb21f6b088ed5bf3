// Scripts: save, saveconfig, saveselection, read, load, default,
// deletesequence, deleteconfig and migration. A script is a file of command
// lines, read back through a shell of its own.
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KRVCommandContext.h"
#include "KRVDestinations.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "files/KRVSafeFile.h"
#include "model/KRVSequencer.h"

namespace {

void WriteSelectionLines(FILE* inFile, const KRVSequencer* inSequencer) {
    for (int track1 = 1; track1 <= inSequencer->GetTrackCount(); track1++) {
        for (int step1 = 1; step1 <= inSequencer->GetStepCount(); step1++) {
            if (inSequencer->GetEvent(track1, step1).IsSelected()) {
                std::fprintf(inFile, "selectevent %d %d\n", track1, step1);
            }
        }
    }
}

// setchannel and program take a channel's name before a number, so a
// channel named "3" would catch a plain 3; a leading zero reads as the same
// number.
std::string NumberWord(const KRVSequencer* inSequencer, int inNumber) {
    std::string word = std::to_string(inNumber);
    int port = 0;
    int channel = 0;
    while (inSequencer->GetNamedChannel(word, &port, &channel)) {
        word.insert(0, "0");
    }
    return word;
}

void WriteEventBlock(FILE* inFile, const KRVSequencer* inSequencer, const KRVEvent& inEvent,
                     int inTrack1, int inStep1) {
    std::fprintf(inFile, "selectevent %d %d\n", inTrack1, inStep1);
    std::fprintf(inFile, "setnote %d\n", inEvent.GetNote());
    std::fprintf(inFile, "setchannel %s\n", NumberWord(inSequencer, inEvent.GetChannel()).c_str());
    std::fprintf(inFile, "setport %d\n", inEvent.GetPort());
    std::fprintf(inFile, "setgatetime %d\n", inEvent.GetGateTime());
    std::fprintf(inFile, "setvelocity %d\n", inEvent.GetVelocity());
    // Only where they differ from how every step plays, so that a sequence
    // that uses none saves as it always has.
    if (inEvent.GetChance() != KRVEvent::kAlwaysPlays) {
        std::fprintf(inFile, "chance %d\n", inEvent.GetChance());
    }
    if (inEvent.GetRatchet() != 1) {
        std::fprintf(inFile, "ratchet %d\n", inEvent.GetRatchet());
    }
    if (inEvent.GetLength() != 1) {
        std::fprintf(inFile, "setlength %d\n", inEvent.GetLength());
    }
    if (inEvent.IsTied()) {
        std::fprintf(inFile, "tie\n");
    }
    if (inEvent.IsMuted()) {
        std::fprintf(inFile, "mute\n");
    }
    if (inEvent.IsHSoloed()) {
        std::fprintf(inFile, "hsolo\n");
    }
    if (inEvent.IsVSoloed()) {
        std::fprintf(inFile, "vsolo\n");
    }
    std::fprintf(inFile, "clear\n");
}

// Six decimals, as scripts have always had them, where they give the tempo
// back exactly; otherwise every digit it takes.
std::string FormatTempo(double inBPM) {
    char text[64];
    std::snprintf(text, sizeof text, "%lf", inBPM);
    if (std::strtod(text, nullptr) != inBPM) {
        std::snprintf(text, sizeof text, "%.17g", inBPM);
    }
    return text;
}

// A save of a large sequence takes a while: its progress is shown as it
// goes, not held until the command ends, and it waits for the reader, so
// that a save whose output nobody reads stops where it stands.
void Progress(KRVShellInterface* inOut, const char* inLine) {
    inOut->Write(inLine);
    inOut->Flush();
}

// With the programs go the ports' clock and latency.
void WritePrograms(FILE* inFile, const KRVSequencer* inSequencer) {
    inSequencer->GetPrograms().ForEach([inFile, inSequencer](int inPort, int inChannel0,
                                                             int inProgram0) {
        std::fprintf(
            inFile, "%s\n",
            KRVCommands::ProgramLine(NumberWord(inSequencer, inPort), inChannel0 + 1, inProgram0)
                .c_str());
    });
    for (const std::string& line : KRVCommands::PortTimingLines(*inSequencer)) {
        std::fprintf(inFile, "%s\n", line.c_str());
    }
}

void WriteSequence(FILE* inFile, const KRVSequencer* inSequencer, KRVShellInterface* inOut) {
    Progress(inOut, "writing scale & loop\n");
    std::fprintf(inFile, "setscale %d %d\n", inSequencer->GetBarCount(),
                 inSequencer->GetStepCount());
    std::fprintf(inFile, "setloop %d\n", inSequencer->GetLoopStep());
    Progress(inOut, "writing bpm\n");
    std::fprintf(inFile, "bpm %s\n", FormatTempo(inSequencer->GetBPM()).c_str());
    // Swing only where used, so that a straight sequence saves as it always
    // has.
    if (inSequencer->GetSwing() != KRVSequencer::kStraightSwing) {
        std::fprintf(inFile, "swing %d\n", inSequencer->GetSwing());
    }
    for (int track1 = 1; track1 <= inSequencer->GetTrackCount(); track1++) {
        inOut->WriteFormattedD("writing track %d\n", track1);
        inOut->Flush();
        std::fprintf(inFile, "newtrack %d\n", track1);
        if (inSequencer->GetTrack(track1).IsMuted()) {
            std::fprintf(inFile, "mutetrack %d\n", track1);
        }
        if (int swing = inSequencer->GetTrack(track1).GetOwnSwing()) {
            std::fprintf(inFile, "swing %d %d\n", swing, track1);
        }
        if (inSequencer->GetTrack(track1).IsLegato()) {
            std::fprintf(inFile, "legato on %d\n", track1);
        }
        for (int step1 = 1; step1 <= inSequencer->GetStepCount(); step1++) {
            WriteEventBlock(inFile, inSequencer, inSequencer->GetEvent(track1, step1), track1,
                            step1);
        }
    }
    Progress(inOut, "writing selection\n");
    WriteSelectionLines(inFile, inSequencer);
    WritePrograms(inFile, inSequencer);
}

void WriteConfig(FILE* inFile, const KRVSequencer* inSequencer, KRVShellInterface* inOut) {
    Progress(inOut, "writing channel names\n");
    for (int port = 0; port < inSequencer->GetPortCount(); port++) {
        for (int channel = 1; channel <= 16; channel++) {
            std::string name = inSequencer->GetChannelName(port, channel);
            if (!name.empty()) {
                std::fprintf(inFile, "%s\n",
                             KRVCommands::ChannelNameLine(port, channel, name).c_str());
            }
        }
    }
    // After the names: a program line reads back by number whatever the
    // names are then.
    WritePrograms(inFile, inSequencer);
    for (const std::string& line : KRVCommands::InputLines(*inSequencer)) {
        std::fprintf(inFile, "%s\n", line.c_str());
    }
    if (inSequencer->GetTransportMode() != KRVSequencer::TransportMode::kOff) {
        std::fprintf(inFile, "%s\n", KRVCommands::TransportText(*inSequencer).c_str());
    }
    if (inSequencer->IsFollowingClock()) {
        std::fprintf(inFile, "%s\n", KRVCommands::ClockInLine(*inSequencer).c_str());
    }
}

enum ScriptKind { kSequenceScript, kConfigScript, kSelectionScript };

void WriteScript(FILE* inFile, ScriptKind inKind, const KRVSequencer* inSequencer,
                 KRVShellInterface* inOut) {
    if (inKind == kSequenceScript) {
        WriteSequence(inFile, inSequencer, inOut);
    } else if (inKind == kConfigScript) {
        WriteConfig(inFile, inSequencer, inOut);
    } else {
        WriteSelectionLines(inFile, inSequencer);
    }
}

KRVCommandResult RefuseTarget(KRVShellInterface& ioOut, const std::string& inPath, int inError) {
    ioOut.WriteFormattedSS("can't open '%s': %s\n", inPath.c_str(),
                           KRVSafeFile::Describe(inError).c_str());
    return KRVCommandResult::kFailed;
}

// The steps every save shares: the file name, the question, the safe write
// and its one-line report of a failure. A file the user may not write is
// refused before the question, which would be asked for nothing.
KRVCommandResult SaveScript(KRVCommandContext& ioContext, const KRVArguments& inArguments,
                            ScriptKind inKind) {
    KRVShellInterface& out = ioContext.GetInterface();
    const std::string path(inArguments.Get(1));
    const char* opening = inKind != kSelectionScript ? "opening file\n" : "";
    if (int error = KRVSafeFile::CheckTarget(path)) {
        out.Write(opening);
        return RefuseTarget(out, path, error);
    }
    if (!ioContext.GetShell().MayOverwrite(path.c_str(), nullptr)) {
        return KRVCommandResult::kFailed;
    }
    Progress(&out, opening);
    KRVSafeFile file;
    if (!file.Open(path)) {
        return RefuseTarget(out, path, file.GetError());
    }
    WriteScript(file.GetStream(), inKind, &ioContext.GetSequencer(), &out);
    if (inKind != kSelectionScript) {
        Progress(&out, "closing file\n");
    }
    if (!file.Commit()) {
        out.WriteFormattedS("%s\n", file.DescribeFailure(path).c_str());
        return KRVCommandResult::kFailed;
    }
    for (const std::string& loss : file.GetLosses(path)) {
        out.WriteFormattedS("%s\n", loss.c_str());
    }
    if (inKind != kSelectionScript) {
        ioContext.GetShell().NoteSaved(inKind == kSequenceScript ? KRVCommandContext::kSavedSequence
                                                                 : KRVCommandContext::kSavedConfig);
    }
    return KRVCommandResult::kSucceeded;
}

void DeleteTracks(KRVCommandContext& ioContext) {
    ioContext.GetSequencer().DeleteAllTracks();
    ioContext.GetInterface().Write("deleted sequence\n");
}

}  // namespace

std::string KRVCommands::ChannelNameLine(int inPort, int inChannel, const std::string& inName) {
    return "namechannel " + std::to_string(inPort) + " " + std::to_string(inChannel) + " " +
           KRVEscapeWord(inName);
}

KRVCommandResult KRVCommands::Save(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    return SaveScript(ioContext, inArguments, kSequenceScript);
}

KRVCommandResult KRVCommands::SaveConfig(KRVCommandContext& ioContext,
                                         const KRVArguments& inArguments) {
    return SaveScript(ioContext, inArguments, kConfigScript);
}

KRVCommandResult KRVCommands::SaveSelection(KRVCommandContext& ioContext,
                                            const KRVArguments& inArguments) {
    return SaveScript(ioContext, inArguments, kSelectionScript);
}

KRVCommandResult KRVCommands::Read(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    return ioContext.GetShell().RunScript(std::string(inArguments.Get(1)), false);
}

KRVCommandResult KRVCommands::Load(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    return ioContext.GetShell().RunScript(std::string(inArguments.Get(1)), true);
}

KRVCommandResult KRVCommands::DefaultSequence(KRVCommandContext& ioContext, const KRVArguments&) {
    return ioContext.GetShell().Execute("load default.krv");
}

KRVCommandResult KRVCommands::DeleteSequence(KRVCommandContext& ioContext, const KRVArguments&) {
    if (!ioContext.GetShell().MayDiscardChanges("delete")) {
        return KRVCommandResult::kFailed;
    }
    DeleteTracks(ioContext);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::DeleteConfig(KRVCommandContext& ioContext, const KRVArguments&) {
    ioContext.GetSequencer().DeleteChannelNames();
    ioContext.GetSequencer().DeletePrograms();
    ioContext.GetSequencer().DeletePortTiming();
    if (KRVDestinations* destinations = ioContext.GetDestinations()) {
        destinations->ListenTo(ioContext.GetInterface(), "");
    }
    ioContext.GetSequencer().GetInputChoice() = KRVInputChoice{};
    ioContext.GetSequencer().UpdateThru();
    ioContext.GetSequencer().SetTransportMode(KRVSequencer::TransportMode::kOff);
    ioContext.GetSequencer().StopFollowingClock();
    ioContext.GetInterface().Write("deleted config\n");
    return KRVCommandResult::kSucceeded;
}

// Old scripts count tracks and steps from 0; this reads them. Without a
// word the mode flips.
KRVCommandResult KRVCommands::Migration(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    bool on = inArguments.Has(1) ? strcasecmp(inArguments.GetText(1), "on") == 0
                                 : !ioContext.IsMigrationMode();
    ioContext.SetMigrationMode(on);
    ioContext.GetInterface().WriteFormattedS("migration mode %s\n", on ? "on" : "off");
    return KRVCommandResult::kSucceeded;
}
