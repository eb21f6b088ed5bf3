#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The program's command line: an optional starting tempo, scripts to run,
// and the options --help, --version, --batch, --overwrite and
// --allow-shell-in-scripts.
// A word that reads whole as a number is the tempo (the first one only); any
// other word is a script, unless it begins with "-", which makes it an
// option: one not known is refused before anything starts. "-" alone is
// standard input, and "--" ends the options.
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
    // Batch mode (--batch or -b): the scripts, or standard input, run
    // without prompts, and the first command that fails ends krv.
    bool IsBatch() const { return mBatch; }
    // --overwrite: saves and exports replace existing files without asking.
    bool Overwrites() const { return mOverwrite; }
    // The scripts in the order given.
    const std::vector<std::string>& GetScripts() const { return mScripts; }
    // Prints what the action asks for and returns the exit status: 0 for
    // help and version, 2 for a refused option (usage then goes to
    // standard error), -1 when krv is to run.
    int Report(FILE* outStream, FILE* errStream) const;

private:
    void AddWord(const char* inWord, const char** ioTempo);
    static bool IsOption(const char* inArgument);
    static void WriteMIDISystems(FILE* outStream);
    static bool IsNumber(const char* inArgument);
    static void WriteUsage(FILE* outStream);

    Action mAction = kRun;
    double mStartingTempo = 120.0;
    bool mAllowShellInScripts = false;
    bool mBatch = false;
    bool mOverwrite = false;
    std::vector<std::string> mScripts;
    const char* mRefused = nullptr;
};
