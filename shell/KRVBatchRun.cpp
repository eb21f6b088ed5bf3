#include "KRVBatchRun.h"

#include "KRVMessageRecorder.h"
#include "KRVShell.h"
#include "console/KRVSignals.h"
#include "console/KRVStdioInterface.h"

namespace {

// "setnote: bad note name/number"; a message that names its word already
// ("bogus: command not found") is not named twice.
std::string DescribeFailure(const KRVShell::Failure& inFailure) {
    std::string message = inFailure.mMessage.empty() ? "failed" : inFailure.mMessage;
    if (inFailure.mCommand.empty() || message.rfind(inFailure.mCommand + ":", 0) == 0) {
        return message;
    }
    return inFailure.mCommand + ": " + message;
}

}  // namespace

int KRVBatchRun::Run(const std::vector<Script>& inScripts, FILE* inInput, FILE* outErrors) {
    bool goesOn = true;
    if (inScripts.empty()) {
        return RunLines(inInput, kStandardInput, false, outErrors, &goesOn);
    }
    for (const Script& script : inScripts) {
        if (script.mName == kStandardInput) {
            const int status = RunLines(inInput, kStandardInput, false, outErrors, &goesOn);
            if (!goesOn) {
                return status;
            }
            continue;
        }
        if (script.mText.empty()) {
            continue;
        }
        std::string text = script.mText;
        FILE* lines = fmemopen(text.data(), text.size(), "r");
        if (lines == nullptr) {
            std::fprintf(outErrors, "%s: can't run\n", script.mName.c_str());
            return kFailed;
        }
        int status = RunLines(lines, script.mName, true, outErrors, &goesOn);
        std::fclose(lines);
        if (!goesOn) {
            return status;
        }
    }
    return kAllRan;
}

// The commands' output passes through a recorder, so that what a failing
// one said can be repeated on the error stream.
int KRVBatchRun::RunLines(FILE* inLines, const std::string& inName, bool inIsScript,
                          FILE* outErrors, bool* outGoesOn) {
    KRVStdioInterface lines(inLines, nullptr);
    KRVMessageRecorder messages(mConsole);
    lines.SetOutputDelegate(&messages);
    KRVShell shell(mSequencer, &lines);
    shell.GetContext().SetDestinations(mDestinations);
    shell.SetReadsScriptFile(inIsScript);
    shell.GetContext().SetShellInScriptsAllowed(mAllowShellInScripts);
    shell.StopAtFailure(&messages);
    shell.SetRefusesQuestions(true);
    shell.SetOverwrites(mOverwrites);
    shell.StartTracking();
    shell.Shell(false);
    *outGoesOn = false;
    mConsole->Flush();
    if (shell.HasFailed()) {
        const KRVShell::Failure& failure = shell.GetFailure();
        std::fprintf(outErrors, "%s:%d: %s\n", inName.c_str(), failure.mLine,
                     DescribeFailure(failure).c_str());
        return kFailed;
    }
    if (shell.WasStoppedBySignal() && KRVSignals::GetTerminatingSignal() == 0) {
        std::fprintf(outErrors, "%s: interrupted\n", inName.c_str());
        return kInterrupted;
    }
    *outGoesOn = !shell.HasQuit() && !shell.WasStoppedBySignal();
    return kAllRan;
}
