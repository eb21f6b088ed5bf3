#pragma once

#include <cstdio>
#include <string>
#include <vector>

class KRVDestinations;
class KRVSequencer;
class KRVShellInterface;

// Batch mode: scripts read whole beforehand, or standard input when there
// are none, run line by line without a prompt, each line a command of its
// own (as piped input runs), and the first command that fails ends the run
// with one line on the error stream: "NAME:LINE: command: message".
// Standard input is named "-". What the commands say goes to the console as
// ever. Scripts run host commands only with the permission scripts need.
class KRVBatchRun {
public:
    struct Script {
        std::string mName;
        std::string mText;
    };
    // Exit statuses: all ran (or `quit` came), a command failed, or
    // Ctrl-C stopped the run (128 + SIGINT).
    static constexpr int kAllRan = 0;
    static constexpr int kFailed = 1;
    static constexpr int kInterrupted = 130;
    // The name of standard input, among the scripts or in messages.
    static constexpr const char* kStandardInput = "-";

    KRVBatchRun(KRVSequencer* inSequencer, KRVShellInterface* inConsole, bool inAllowShellInScripts)
        : mSequencer(inSequencer),
          mConsole(inConsole),
          mAllowShellInScripts(inAllowShellInScripts) {}

    // Runs inScripts in order, or the lines of inInput when there are none;
    // returns the exit status. A terminating signal (SIGTERM, SIGHUP) ends
    // it too, with kAllRan: the caller tells that status.
    int Run(const std::vector<Script>& inScripts, FILE* inInput, FILE* outErrors);
    // Destinations that come and go are followed at `play` and `ports`, as
    // in a script the console reads; without them (tests) they are not.
    void SetDestinations(KRVDestinations* inDestinations) { mDestinations = inDestinations; }
    // With true, existing files are replaced without a question; without,
    // a command that would ask fails (no line of a job is an answer).
    void SetOverwrites(bool inOverwrites) { mOverwrites = inOverwrites; }

private:
    // One source of lines; kAllRan when the run goes on after it.
    int RunLines(FILE* inLines, const std::string& inName, bool inIsScript, FILE* outErrors,
                 bool* outGoesOn);

    KRVSequencer* mSequencer;
    KRVShellInterface* mConsole;
    bool mAllowShellInScripts;
    KRVDestinations* mDestinations = nullptr;
    bool mOverwrites = false;
};
