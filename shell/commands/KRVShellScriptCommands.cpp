// Scripts: save, saveconfig, saveselection, read, load, default,
// deletesequence, deleteconfig and migration. A script is a file of command
// lines, read back through a shell of its own.
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KRVScriptFile.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "console/KRVStdioInterface.h"
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

void WritePrograms(FILE* inFile, const KRVSequencer* inSequencer) {
    inSequencer->GetPrograms().ForEach([inFile, inSequencer](int inPort, int inChannel0,
                                                             int inProgram0) {
        std::fprintf(
            inFile, "%s\n",
            KRVCommands::ProgramLine(NumberWord(inSequencer, inPort), inChannel0 + 1, inProgram0)
                .c_str());
    });
}

void WriteSequence(FILE* inFile, const KRVSequencer* inSequencer, KRVShellInterface* inOut) {
    Progress(inOut, "writing scale & loop\n");
    std::fprintf(inFile, "setscale %d %d\n", inSequencer->GetBarCount(),
                 inSequencer->GetStepCount());
    std::fprintf(inFile, "setloop %d\n", inSequencer->GetLoopStep());
    Progress(inOut, "writing bpm\n");
    std::fprintf(inFile, "bpm %s\n", FormatTempo(inSequencer->GetBPM()).c_str());
    for (int track1 = 1; track1 <= inSequencer->GetTrackCount(); track1++) {
        inOut->WriteFormattedD("writing track %d\n", track1);
        inOut->Flush();
        std::fprintf(inFile, "newtrack %d\n", track1);
        if (inSequencer->GetTrack(track1).IsMuted()) {
            std::fprintf(inFile, "mutetrack %d\n", track1);
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
}

// One line of any shape, for the messages the writes of the interface have
// no form for.
__attribute__((format(printf, 2, 3))) void Say(KRVShellInterface* inOut, const char* inFormat,
                                               ...) {
    va_list arguments;
    va_start(arguments, inFormat);
    char* text = nullptr;
    if (vasprintf(&text, inFormat, arguments) >= 0) {
        inOut->Write(text);
        std::free(text);
    }
    va_end(arguments);
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
KRVCommandResult SaveScript(KRVShell& ioShell, const KRVArguments& inArguments, ScriptKind inKind) {
    KRVShellInterface& out = ioShell.GetInterface();
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need file name to save to\n");
    }
    const std::string& path = inArguments.Get(1);
    const char* opening = inKind != kSelectionScript ? "opening file\n" : "";
    if (int error = KRVSafeFile::CheckTarget(path)) {
        out.Write(opening);
        return RefuseTarget(out, path, error);
    }
    if (!ioShell.MayOverwrite(path.c_str())) {
        return KRVCommandResult::kFailed;
    }
    Progress(&out, opening);
    KRVSafeFile file;
    if (!file.Open(path)) {
        return RefuseTarget(out, path, file.GetError());
    }
    WriteScript(file.GetStream(), inKind, &ioShell.GetSequencer(), &out);
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
        ioShell.NoteSaved(inKind == kSequenceScript ? KRVShell::kSavedSequence
                                                    : KRVShell::kSavedConfig);
    }
    return KRVCommandResult::kSucceeded;
}

void DeleteTracks(KRVShell& ioShell) {
    ioShell.GetSequencer().DeleteAllTracks();
    ioShell.GetInterface().Write("deleted sequence\n");
}

}  // namespace

std::string KRVCommands::ChannelNameLine(int inPort, int inChannel, const std::string& inName) {
    return "namechannel " + std::to_string(inPort) + " " + std::to_string(inChannel) + " " +
           KRVEscapeWord(inName);
}

// The answer is the next line of whatever this shell reads: the console, or
// the script being read. End of input counts as no.
bool KRVShell::MayOverwrite(const char* inPath, const char* inWhat) {
    if (!mConfirmSaves || mOverwrites || access(inPath, R_OK) != 0) {
        return true;
    }
    const std::string what = inWhat != nullptr ? std::string(" and ") + inWhat : "";
    if (mRefusesQuestions) {
        mInterface->WriteFormattedSS("%s exists%s; run krv with --overwrite to replace it\n",
                                     inPath, what.c_str());
        return false;
    }
    if (inWhat != nullptr) {
        mInterface->WriteFormattedSS("%s %s\n", inPath, inWhat);
    }
    mInterface->WriteFormattedS("%s exists - overwrite (y/n) ?", inPath);
    return ReadsYes();
}

KRVCommandResult KRVCommands::Save(KRVShell& ioShell, const KRVArguments& inArguments) {
    return SaveScript(ioShell, inArguments, kSequenceScript);
}

KRVCommandResult KRVCommands::SaveConfig(KRVShell& ioShell, const KRVArguments& inArguments) {
    return SaveScript(ioShell, inArguments, kConfigScript);
}

KRVCommandResult KRVCommands::SaveSelection(KRVShell& ioShell, const KRVArguments& inArguments) {
    return SaveScript(ioShell, inArguments, kSelectionScript);
}

// A script that reads itself would otherwise nest until files run out, and
// one that reads itself twice over would take exponential time (3^16 reads
// for three lines), so one command reads only so many.
bool KRVShell::MayReadAnotherScript(const std::string& inPath) {
    if (mScriptDepth >= kMaxScriptDepth) {
        mInterface->WriteFormattedSD("can't read '%s': scripts nested deeper than %d\n",
                                     inPath.c_str(), kMaxScriptDepth);
        return false;
    }
    if (mScriptDepth == 0) {
        mOutermostShell->mScriptsRead = 0;
    }
    if (mOutermostShell->mScriptsRead >= kMaxScriptsRead) {
        mInterface->WriteFormattedSD("can't read '%s': over %d scripts read for one command\n",
                                     inPath.c_str(), kMaxScriptsRead);
        return false;
    }
    return true;
}

// The whole file is read, and load checks that it holds commands at all,
// before the sequence goes: a script that cannot be read leaves everything
// as it was. A script stopped half-way by Ctrl-C says where.
KRVCommandResult KRVShell::RunScript(const std::string& inPath, bool inClearFirst) {
    if (!MayReadAnotherScript(inPath)) {
        return KRVCommandResult::kFailed;
    }
    KRVScriptFile script;
    KRVScriptFile::Status status = script.Read(inPath);
    if (status == KRVScriptFile::kRead && inClearFirst) {
        status = script.CheckCommands();
    }
    if (status != KRVScriptFile::kRead) {
        mInterface->Write(script.Describe(status, inClearFirst ? "load" : "read", inPath).c_str());
        return KRVCommandResult::kFailed;
    }
    if (inClearFirst && !MayDiscardChanges("load")) {
        return KRVCommandResult::kFailed;
    }
    return RunReadScript(inPath, script.TakeText(), inClearFirst);
}

KRVCommandResult KRVShell::RunReadScript(const std::string& inPath, std::string inText,
                                         bool inClearFirst) {
    if (!MayReadAnotherScript(inPath)) {
        return KRVCommandResult::kFailed;
    }
    const char* verb = inClearFirst ? "load" : "read";
    mOutermostShell->mScriptsRead++;
    if (inClearFirst) {
        DeleteTracks(*this);
    }
    int line = 0;
    if (!RunScriptText(inPath, std::move(inText), &line)) {
        Say(mInterface, "%s of '%s' interrupted at line %d: the sequence holds what ran before\n",
            verb, inPath.c_str(), line);
        return KRVCommandResult::kFailed;
    }
    if (inClearFirst) {
        NoteSaved(kSavedSequence);
        NoteSaved(kSavedConfig);
    }
    return KRVCommandResult::kSucceeded;
}

// The script's shell writes through ours.
bool KRVShell::RunScriptText(const std::string& inPath, std::string inText, int* outLine) {
    if (inText.empty()) {
        return true;
    }
    FILE* file = fmemopen(inText.data(), inText.size(), "r");
    if (file == nullptr) {
        *outLine = 1;
        return false;
    }
    KRVStdioInterface scriptInterface(file, nullptr);
    scriptInterface.SetOutputDelegate(mInterface);
    KRVShell scriptShell(mSequencer, &scriptInterface);
    scriptShell.mMigrationMode = mMigrationMode;
    scriptShell.mOverwrites = mOverwrites;
    scriptShell.mRefusesQuestions = mRefusesQuestions;
    scriptShell.mShellCommandsAllowed = mShellCommandsAllowed;
    scriptShell.mShellInScriptsAllowed = mShellInScriptsAllowed;
    scriptShell.mScriptDepth = mScriptDepth + 1;
    scriptShell.mScriptPath = inPath;
    scriptShell.mOutermostShell = mOutermostShell;
    scriptShell.mDestinations = mDestinations;
    scriptShell.Shell(false);
    std::fclose(file);
    *outLine = std::max(scriptInterface.GetLinesRead(), 1);
    return !scriptShell.WasStoppedBySignal();
}

KRVCommandResult KRVCommands::Read(KRVShell& ioShell, const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need file name to load from\n");
    }
    return ioShell.RunScript(inArguments.Get(1), false);
}

KRVCommandResult KRVCommands::Load(KRVShell& ioShell, const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need file name to load from\n");
    }
    return ioShell.RunScript(inArguments.Get(1), true);
}

KRVCommandResult KRVCommands::DefaultSequence(KRVShell& ioShell, const KRVArguments&) {
    return ioShell.Execute("load default.krv");
}

KRVCommandResult KRVCommands::DeleteSequence(KRVShell& ioShell, const KRVArguments&) {
    if (!ioShell.MayDiscardChanges("delete")) {
        return KRVCommandResult::kFailed;
    }
    DeleteTracks(ioShell);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::DeleteConfig(KRVShell& ioShell, const KRVArguments&) {
    ioShell.GetSequencer().DeleteChannelNames();
    ioShell.GetSequencer().DeletePrograms();
    ioShell.GetInterface().Write("deleted config\n");
    return KRVCommandResult::kSucceeded;
}

// Old scripts count tracks and steps from 0; this reads them. Without a
// word the mode flips.
KRVCommandResult KRVCommands::Migration(KRVShell& ioShell, const KRVArguments& inArguments) {
    bool on = inArguments.Has(1) ? strcasecmp(inArguments.Get(1).c_str(), "on") == 0
                                 : !ioShell.IsMigrationMode();
    ioShell.SetMigrationMode(on);
    ioShell.GetInterface().WriteFormattedS("migration mode %s\n", on ? "on" : "off");
    return KRVCommandResult::kSucceeded;
}
