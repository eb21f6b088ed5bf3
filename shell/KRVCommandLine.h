#pragma once

#include <cstdio>

// The program's command line: an optional starting tempo and the options
// --help, --version and --allow-shell-in-scripts. Anything else that begins
// with "-" and is no number is refused before anything starts.
class KRVCommandLine {
public:
    enum Action { kRun, kShowHelp, kShowVersion, kRefuse };

    KRVCommandLine(int inArgc, char** inArgv);

    Action GetAction() const { return mAction; }
    // The tempo to start at: the first argument, or 120 when it reads as no
    // usable tempo (as "0" or "abc" do) or there is none.
    double GetStartingTempo() const { return mStartingTempo; }
    // Whether scripts may run host commands (`shell`); typed at the prompt
    // they always may.
    bool AllowsShellInScripts() const { return mAllowShellInScripts; }
    // Prints what the action asks for and returns the exit status: 0 for
    // help and version, 2 for a refused option (usage then goes to
    // standard error), -1 when krv is to run.
    int Report(FILE* outStream, FILE* errStream) const;

private:
    static bool IsOption(const char* inArgument);
    static void WriteUsage(FILE* outStream);

    Action mAction = kRun;
    double mStartingTempo = 120.0;
    bool mAllowShellInScripts = false;
    const char* mRefused = nullptr;
};
