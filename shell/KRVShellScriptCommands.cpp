// Scripts: save, saveconfig, saveselection, read, load, default,
// deletesequence, deleteconfig and migration. A script is a file of command
// lines, read back through a shell of its own.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "KRVSafeFile.h"
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVStdioInterface.h"
#include "KRVWords.h"

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

void WriteEventBlock(FILE* inFile, const KRVEvent& inEvent, int inTrack1, int inStep1) {
    std::fprintf(inFile, "selectevent %d %d\n", inTrack1, inStep1);
    std::fprintf(inFile, "setnote %d\n", inEvent.GetNote());
    std::fprintf(inFile, "setchannel %d\n", inEvent.GetChannel());
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

void WriteSequence(FILE* inFile, const KRVSequencer* inSequencer, KRVShellInterface* inOut) {
    inOut->Write("writing scale & loop\n");
    std::fprintf(inFile, "setscale %d %d\n", inSequencer->GetBarCount(),
                 inSequencer->GetStepCount());
    std::fprintf(inFile, "setloop %d\n", inSequencer->GetLoopStep());
    inOut->Write("writing bpm\n");
    std::fprintf(inFile, "bpm %lf\n", inSequencer->GetBPM());
    for (int track1 = 1; track1 <= inSequencer->GetTrackCount(); track1++) {
        inOut->WriteFormattedD("writing track %d\n", track1);
        std::fprintf(inFile, "newtrack %d\n", track1);
        if (inSequencer->GetTrack(track1).IsMuted()) {
            std::fprintf(inFile, "mutetrack %d\n", track1);
        }
        for (int step1 = 1; step1 <= inSequencer->GetStepCount(); step1++) {
            WriteEventBlock(inFile, inSequencer->GetEvent(track1, step1), track1, step1);
        }
    }
    inOut->Write("writing selection\n");
    WriteSelectionLines(inFile, inSequencer);
}

void WriteConfig(FILE* inFile, const KRVSequencer* inSequencer, KRVShellInterface* inOut) {
    inOut->Write("writing channel names\n");
    for (int port = 0; port < inSequencer->GetPortCount(); port++) {
        for (int channel = 1; channel <= 16; channel++) {
            std::string name = inSequencer->GetChannelName(port, channel);
            if (!name.empty()) {
                std::fprintf(inFile, "%s\n",
                             KRVShell::ChannelNameLine(port, channel, name).c_str());
            }
        }
    }
}

// How much of a file is looked at for a NUL byte: text never has one, and
// any binary file (a MIDI file, a program) does early on.
constexpr size_t kScriptProbeLength = 4096;

// True when the file's first bytes hold no NUL. The file is left at its start.
bool StartsAsText(FILE* inFile) {
    char probe[kScriptProbeLength];
    size_t length = std::fread(probe, 1, sizeof probe, inFile);
    bool text = std::memchr(probe, '\0', length) == nullptr;
    std::rewind(inFile);
    return text;
}

// Opens a script for reading, or says why not and gives null. Folders,
// devices and binary files are refused here, before anything is changed.
FILE* OpenScript(const std::string& inPath, KRVShellInterface* inOut) {
    FILE* file = std::fopen(inPath.c_str(), "r");
    struct stat status;
    if (file != nullptr && (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode))) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr) {
        inOut->WriteFormattedS("can't open '%s'\n", inPath.c_str());
        return nullptr;
    }
    if (!StartsAsText(file)) {
        inOut->WriteFormattedS("'%s' is not a krv script\n", inPath.c_str());
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

std::string KRVShell::ChannelNameLine(int inPort, int inChannel, const std::string& inName) {
    return "namechannel " + std::to_string(inPort) + " " + std::to_string(inChannel) + " " +
           KRVEscapeWord(inName);
}

// Asks before an existing file is replaced. The answer is the next line of
// whatever this shell reads: the console, or the script being read. End of
// input counts as no.
bool KRVShell::MayOverwrite(const char* inPath) {
    if (!mConfirmSaves || access(inPath, R_OK) != 0) {
        return true;
    }
    mInterface->WriteFormattedS("%s exists - overwrite (y/n) ?", inPath);
    // A whole line is read, so no rest of it can run as a command; one too
    // long for "yes" is no answer, and so a no.
    char answer[4];
    int length;
    do {
        length = mInterface->ReadAnswer(answer, sizeof answer);
    } while (length == 0);
    return length > 0 && (answer[0] == 'y' || answer[0] == 'Y');
}

// The steps every save shares: the file name, the question, the safe write
// and its one-line report of a failure.
int KRVShell::SaveScript(KRVShell* inShell, ScriptKind inKind) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need file name to save to\n")) {
        return 0;
    }
    std::string path = inShell->GetParam(1);
    if (!inShell->MayOverwrite(path.c_str())) {
        return 0;
    }
    if (inKind != kSelectionScript) {
        out->Write("opening file\n");
    }
    KRVSafeFile file;
    if (!file.Open(path)) {
        out->WriteFormattedS("can't open '%s'\n", path.c_str());
        return 0;
    }
    if (inKind == kSequenceScript) {
        WriteSequence(file.GetStream(), inShell->mSequencer, out);
    } else if (inKind == kConfigScript) {
        WriteConfig(file.GetStream(), inShell->mSequencer, out);
    } else {
        WriteSelectionLines(file.GetStream(), inShell->mSequencer);
    }
    if (inKind != kSelectionScript) {
        out->Write("closing file\n");
    }
    if (!file.Commit()) {
        out->WriteFormattedSS("couldn't write '%s' (%s), the old file is unchanged\n", path.c_str(),
                              std::strerror(file.GetError()));
    }
    return 0;
}

int KRVShell::Save(KRVShell* inShell) {
    return SaveScript(inShell, kSequenceScript);
}
int KRVShell::SaveConfig(KRVShell* inShell) {
    return SaveScript(inShell, kConfigScript);
}
int KRVShell::SaveSelection(KRVShell* inShell) {
    return SaveScript(inShell, kSelectionScript);
}

// Runs a script through a shell of its own, which writes through ours. With
// inClearFirst (load) the sequence goes once the file has opened.
int KRVShell::RunScript(KRVShell* inShell, bool inClearFirst) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need file name to load from\n")) {
        return 0;
    }
    std::string path = inShell->GetParam(1);
    // A script that reads itself would otherwise nest until files run out.
    if (inShell->mScriptDepth >= kMaxScriptDepth) {
        out->WriteFormattedSD("can't read '%s': scripts nested deeper than %d\n", path.c_str(),
                              kMaxScriptDepth);
        return 0;
    }
    // A script that reads itself twice over would take exponential time
    // (3^16 reads for three lines), so one command reads only so many.
    KRVShell* outermost = inShell->mOutermostShell;
    if (inShell->mScriptDepth == 0) {
        outermost->mScriptsRead = 0;
    }
    if (outermost->mScriptsRead >= kMaxScriptsRead) {
        out->WriteFormattedSD("can't read '%s': over %d scripts read for one command\n",
                              path.c_str(), kMaxScriptsRead);
        return 0;
    }
    FILE* file = OpenScript(path, out);
    if (file == nullptr) {
        return 0;
    }
    outermost->mScriptsRead++;
    if (inClearFirst) {
        DeleteSequence(inShell);
    }
    {
        KRVStdioInterface scriptInterface(file, nullptr);
        scriptInterface.SetOutputDelegate(out);
        KRVShell scriptShell(inShell->mSequencer, &scriptInterface);
        scriptShell.mMigrationMode = inShell->mMigrationMode;
        scriptShell.mShellCommandsAllowed = inShell->mShellCommandsAllowed;
        scriptShell.mScriptDepth = inShell->mScriptDepth + 1;
        scriptShell.mOutermostShell = outermost;
        scriptShell.Shell(false);
    }
    std::fclose(file);
    return 0;
}

int KRVShell::Read(KRVShell* inShell) {
    return RunScript(inShell, false);
}
int KRVShell::Load(KRVShell* inShell) {
    return RunScript(inShell, true);
}

int KRVShell::DefaultSequence(KRVShell* inShell) {
    return inShell->Execute("load default.krv");
}

int KRVShell::DeleteSequence(KRVShell* inShell) {
    while (inShell->mSequencer->GetTrackCount() > 0) {
        inShell->mSequencer->DeleteTrack(1);
    }
    inShell->mInterface->Write("deleted sequence\n");
    return 0;
}

int KRVShell::DeleteConfig(KRVShell* inShell) {
    inShell->mSequencer->DeleteChannelNames();
    inShell->mInterface->Write("deleted config\n");
    return 0;
}

// Old scripts count tracks and steps from 0; this reads them.
int KRVShell::Migration(KRVShell* inShell) {
    if (inShell->GetParamCount() < 1) {
        inShell->mMigrationMode = !inShell->mMigrationMode;
    } else {
        inShell->mMigrationMode = strcasecmp(inShell->GetParam(1), "on") == 0;
    }
    inShell->mInterface->WriteFormattedS("migration mode %s\n",
                                         inShell->mMigrationMode ? "on" : "off");
    return 0;
}
