#pragma once

#include <string>
#include <utility>
#include <vector>

#include "KRVLineLimit.h"

class KRVSequencer;
class KRVShellInterface;

// The command interpreter: reads lines through its interface, splits them
// into words, looks the first word up in the fixed command table and runs
// that command's handler. It keeps a numbered history of the lines it ran and
// expands history references ("!!", "!12", "!-1", "!sel").
//
// A shell is tied to one input: the console, or one script being read.
class KRVShell {
public:
    static constexpr int kCommandCount = 66;
    static constexpr int kMaxHistory = 50;
    static constexpr int kLineBufferLength = KRVLineLimit::kBufferLength;
    // Scripts read scripts at most this deep, and at most this many in all
    // for one command of the console.
    static constexpr int kMaxScriptDepth = 16;
    static constexpr int kMaxScriptsRead = 100;

    KRVShell(KRVSequencer* inSequencer, KRVShellInterface* inInterface);

    // Runs the loop until quit or end of input; inPrompt shows "%d krv> ".
    void Shell(bool inPrompt);
    // Stops playback, if it runs, and says how many notes the MIDI output
    // could not carry.
    void StopPlayback();
    // Runs one line; returns non-zero when the loop should end.
    int Execute(const char* inBuffer);

    // The command table as the console's completion and the manual see it.
    enum ArgumentKind { kOtherArgument, kFileArgument, kKeyArgument };
    static const char* GetCommandName(int inRow) { return sCommands[inRow].mCommand; }
    // The empty string where the command has no short form.
    static const char* GetCommandAlias(int inRow) { return sCommands[inRow].mAlias; }
    // The row whose command or alias is inWord exactly, or -1.
    static int FindCommand(const std::string& inWord);
    // What word inWord1 (1 = the first argument) of the row's command is.
    static ArgumentKind GetArgumentKind(int inRow, int inWord1);

    std::string GetHistoryEntryByNumber(int inIndex) const;
    std::string GetHistoryEntryBySubString(const char* inSubString) const;
    void SetConfirmSaves(bool inConfirm) { mConfirmSaves = inConfirm; }
    // With false, the shell command refuses to run anything, here and in
    // every script this shell reads (the fuzz target runs so).
    void SetShellCommandsAllowed(bool inAllowed) { mShellCommandsAllowed = inAllowed; }
    // The line saveconfig writes for a channel name.
    static std::string ChannelNameLine(int inPort, int inChannel, const std::string& inName);

protected:
    void Parse(const char* inBuffer);
    int Dispatch() const;
    void SaveToHistory(const char* inCommand);
    int GetHistoryCount() const { return static_cast<int>(mHistory.size()); }
    std::pair<int, std::string> GetHistoryEntryByIndex(int inIndex) const;

private:
    typedef int (*Handler)(KRVShell* inShell);
    struct Command {
        const char* mCommand;
        const char* mAlias;
        const char* mDescription;
        Handler mHandler;
    };
    static const Command sCommands[kCommandCount];

    void ExpandHistory();
    void RunLoop(bool inPrompt);
    void TellOutputGone(bool inAgain);
    // Whether the loop ends for a signal; acts on SIGINT at the prompt.
    bool StopsForSignal(bool inPrompt);
    static void StopPlaybackFor(void* inShell);

    // Words of the line being run, word 0 being the command.
    int GetParamCount() const { return static_cast<int>(mParameters.size()) - 1; }
    const char* GetParam(int inIndex) const { return mParameters[inIndex].c_str(); }
    int ReadExistingTrack();
    // Argument readers for the handlers, each refusing with the command's own
    // message. NeedParams: false, after saying inMissing, when
    // fewer than inCount arguments follow the command. ReadParamInRange:
    // argument inIndex read as a number (like atoi) from inLowest to
    // inHighest; false, after saying inBad, outside that range.
    bool NeedParams(int inCount, const char* inMissing) const;
    bool ReadParamInRange(int inIndex, int inLowest, int inHighest, const char* inBad,
                          int* outValue) const;

    // Scripts
    enum ScriptKind { kSequenceScript, kConfigScript, kSelectionScript };
    bool MayOverwrite(const char* inPath);
    static int SaveScript(KRVShell* inShell, ScriptKind inKind);
    static int RunScript(KRVShell* inShell, bool inClearFirst);
    static void WriteVersion(KRVShell* inShell);

    // One handler per row of the command table, in table order.
    static int ClearSelection(KRVShell* inShell);
    static int CopyTrack(KRVShell* inShell);
    static int BPM(KRVShell* inShell);
    static int ChangeChannel(KRVShell* inShell);
    static int ChangeNote(KRVShell* inShell);
    static int DefaultSequence(KRVShell* inShell);
    static int DeleteConfig(KRVShell* inShell);
    static int DeleteSequence(KRVShell* inShell);
    static int DeleteTrack(KRVShell* inShell);
    static int Display(KRVShell* inShell);
    static int ExportSMF(KRVShell* inShell);
    static int FitToKey(KRVShell* inShell);
    static int Help(KRVShell* inShell);
    static int History(KRVShell* inShell);
    static int HSolo(KRVShell* inShell);
    static int HUnSolo(KRVShell* inShell);
    static int ImportSMF(KRVShell* inShell);
    static int InvertMute(KRVShell* inShell);
    static int InvertSelection(KRVShell* inShell);
    static int Load(KRVShell* inShell);
    static int Migration(KRVShell* inShell);
    static int Mute(KRVShell* inShell);
    static int MuteTrack(KRVShell* inShell);
    static int NameChannel(KRVShell* inShell);
    static int NewTrack(KRVShell* inShell);
    static int Pause(KRVShell* inShell);
    static int Play(KRVShell* inShell);
    static int Ports(KRVShell* inShell);
    static int Quit(KRVShell* inShell);
    static int Read(KRVShell* inShell);
    static int Reset(KRVShell* inShell);
    static int RandomiseChannel(KRVShell* inShell);
    static int RandomiseGate(KRVShell* inShell);
    static int RandomiseMute(KRVShell* inShell);
    static int RandomiseNote(KRVShell* inShell);
    static int RandomisePort(KRVShell* inShell);
    static int RandomiseVelocity(KRVShell* inShell);
    static int Rotate(KRVShell* inShell);
    static int Save(KRVShell* inShell);
    static int SaveConfig(KRVShell* inShell);
    static int SaveSelection(KRVShell* inShell);
    static int SelectAll(KRVShell* inShell);
    static int SelectEighthNotes(KRVShell* inShell);
    static int SelectEvent(KRVShell* inShell);
    static int SelectQuarterNotes(KRVShell* inShell);
    static int SelectStep(KRVShell* inShell);
    static int SelectTrack(KRVShell* inShell);
    static int SetChannel(KRVShell* inShell);
    static int SetGateTime(KRVShell* inShell);
    static int SetLoop(KRVShell* inShell);
    static int SetNote(KRVShell* inShell);
    static int SetPort(KRVShell* inShell);
    static int SetScale(KRVShell* inShell);
    static int SetVelocity(KRVShell* inShell);
    static int Shell(KRVShell* inShell);
    static int Stop(KRVShell* inShell);
    static int UnMute(KRVShell* inShell);
    static int UnMuteTrack(KRVShell* inShell);
    static int UnSelectEvent(KRVShell* inShell);
    static int UnSelectStep(KRVShell* inShell);
    static int UnSelectTrack(KRVShell* inShell);
    static int Vary(KRVShell* inShell);
    static int Vary2(KRVShell* inShell);
    static int Version(KRVShell* inShell);
    static int VSolo(KRVShell* inShell);
    static int VUnSolo(KRVShell* inShell);

    KRVSequencer* mSequencer;
    KRVShellInterface* mInterface;
    bool mConfirmSaves = true;
    bool mShellCommandsAllowed = true;
    // Track and step numbers in commands are read 0-based (old scripts).
    bool mMigrationMode = false;
    int mHistoryNumber = 1;
    // Whether the console was told that the MIDI server has gone.
    bool mToldOutputGone = false;
    // How many scripts deep this shell reads: 0 at the console.
    int mScriptDepth = 0;
    // The shell at depth 0 counts the scripts read for its current command.
    KRVShell* mOutermostShell = this;
    int mScriptsRead = 0;
    std::vector<std::pair<int, std::string>> mHistory;
    std::vector<std::string> mParameters;
};
