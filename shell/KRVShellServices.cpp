// What a shell does for the commands it runs (KRVCommandContext::Shell):
// the overwrite question, reading scripts through shells of their own, and
// keeping the undo steps and the saved states that tell unsaved changes.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "KRVScriptFile.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVUndoHistory.h"
#include "commands/KRVCommandTable.h"
#include "console/KRVStdioInterface.h"
#include "model/KRVSequencer.h"

void KRVShell::StartTracking() {
    mUndoHistory = std::make_unique<KRVUndoHistory>(*mSequencer);
    mSavedSequence = mUndoHistory->GetPresent();
    mSavedConfig = mSavedSequence;
    mSavedPrograms = mSavedSequence;
}

// A save inside a script counts as soon as it is done, for the console.
void KRVShell::NoteSaved(KRVCommandContext::SavedPart inPart) {
    KRVShell* outermost = mOutermostShell;
    if (outermost->mUndoHistory == nullptr) {
        return;
    }
    KRVSequencerState now = mSequencer->CaptureState(&outermost->mUndoHistory->GetPresent());
    outermost->mSavedPrograms = now;
    (inPart == KRVCommandContext::kSavedSequence ? outermost->mSavedSequence
                                                 : outermost->mSavedConfig) = std::move(now);
}

bool KRVShell::HasUnsavedChanges() const {
    const KRVShell* outermost = mOutermostShell;
    if (outermost->mUndoHistory == nullptr) {
        return false;
    }
    KRVSequencerState now = mSequencer->CaptureState(&outermost->mUndoHistory->GetPresent());
    return !now.HasSameSequence(outermost->mSavedSequence) ||
           !now.HasSameChannelNames(outermost->mSavedConfig) ||
           !now.HasSamePrograms(outermost->mSavedPrograms);
}

// The answer is the next line of whatever this shell reads: the console, or
// the script being read. End of input counts as no.
bool KRVShell::MayOverwrite(const char* inPath, const char* inWhat) {
    if (mOverwrites || access(inPath, R_OK) != 0) {
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
    return RunReadScript(inPath, script.TakeText(), inClearFirst, script.TakeLineCommands());
}

KRVCommandResult KRVShell::RunReadScript(const std::string& inPath, std::string inText,
                                         bool inClearFirst,
                                         std::vector<unsigned char> inLineCommands) {
    if (!MayReadAnotherScript(inPath)) {
        return KRVCommandResult::kFailed;
    }
    const char* verb = inClearFirst ? "load" : "read";
    mOutermostShell->mScriptsRead++;
    if (inClearFirst) {
        mSequencer->DeleteAllTracks();
        mInterface->Write("deleted sequence\n");
    }
    int line = 0;
    if (!RunScriptText(inPath, std::move(inText), std::move(inLineCommands), &line)) {
        mInterface->WriteFormattedSS("%s of '%s' interrupted at line ", verb, inPath.c_str());
        mInterface->WriteFormattedD("%d: the sequence holds what ran before\n", line);
        return KRVCommandResult::kFailed;
    }
    if (inClearFirst) {
        NoteSaved(KRVCommandContext::kSavedSequence);
        NoteSaved(KRVCommandContext::kSavedConfig);
    }
    return KRVCommandResult::kSucceeded;
}

// Lines are counted as the check counted them: every line read, answers
// included, is one of the text's.
const KRVCommand* KRVShell::GetCheckedCommand(int inLine1) const {
    if (inLine1 < 1 || static_cast<std::size_t>(inLine1) > mLineCommands.size() ||
        mLineCommands[inLine1 - 1] == 0) {
        return nullptr;
    }
    return &KRVCommandTable::Get(mLineCommands[inLine1 - 1] - 1);
}

// The script's shell writes through ours.
bool KRVShell::RunScriptText(const std::string& inPath, std::string inText,
                             std::vector<unsigned char> inLineCommands, int* outLine) {
    if (inText.empty()) {
        return true;
    }
    KRVStdioInterface scriptInterface(inText);
    scriptInterface.SetOutputDelegate(mInterface);
    KRVShell scriptShell(mSequencer, &scriptInterface);
    scriptShell.mContext.TakeSettingsOf(mContext);
    scriptShell.mOverwrites = mOverwrites;
    scriptShell.mRefusesQuestions = mRefusesQuestions;
    scriptShell.mScriptDepth = mScriptDepth + 1;
    scriptShell.mScriptPath = inPath;
    scriptShell.mOutermostShell = mOutermostShell;
    scriptShell.mLineCommands = std::move(inLineCommands);
    scriptShell.Shell(false);
    *outLine = std::max(scriptInterface.GetLinesRead(), 1);
    return !scriptShell.WasStoppedBySignal();
}
