#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "commands/KRVCommandTable.h"

class KRVSequencer;

// The handlers of the command table, one per row, grouped by the file that
// holds them. Each reads its words, reports every result and every refusal
// through the shell's interface, and says whether it succeeded.
class KRVCommands {
public:
    using Result = KRVCommandResult;

    // The line saveconfig writes for a channel name, which namechannel
    // must be able to read back.
    static std::string ChannelNameLine(int inPort, int inChannel, const std::string& inName);
    // Why a port number and a channel number 1-16 name no channel ("bad port
    // number\n"), or null when they do: namechannel and program refuse alike.
    static const char* RefusalForChannel(const KRVSequencer& inSequencer, int inPort,
                                         int inChannel);
    // How status and the live view say the tempo ("120 bpm") and the loop
    // ("loop 1-16").
    static std::string TempoText(double inBPM);
    static std::string LoopText(const KRVSequencer& inSequencer);

    // KRVShellSelectCommands.cpp
    static Result SelectAll(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SelectTrack(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result UnSelectTrack(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SelectStep(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result UnSelectStep(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SelectEvent(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result UnSelectEvent(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result ClearSelection(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result InvertSelection(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SelectQuarterNotes(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SelectEighthNotes(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellEditCommands.cpp
    static Result SetNote(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SetVelocity(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SetGateTime(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SetPort(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SetChannel(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result ChangeNote(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result ChangeChannel(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result FitToKey(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Mute(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result UnMute(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result InvertMute(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result HSolo(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result HUnSolo(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result VSolo(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result VUnSolo(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Rotate(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Vary(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Vary2(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellRandomCommands.cpp
    static Result RandomiseChannel(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result RandomiseGate(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result RandomiseMute(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result RandomiseNote(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result RandomisePort(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result RandomiseVelocity(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellTrackCommands.cpp
    static Result NewTrack(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result DeleteTrack(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result CopyTrack(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result MuteTrack(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result UnMuteTrack(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SetScale(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SetLoop(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellTransportCommands.cpp
    static Result Play(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Pause(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Stop(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Reset(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result BPM(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Status(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellLiveCommand.cpp
    static Result Live(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellScriptCommands.cpp
    static Result Save(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SaveConfig(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SaveSelection(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Read(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Load(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result DefaultSequence(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result DeleteSequence(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result DeleteConfig(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Migration(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellUndoCommands.cpp
    static Result Undo(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Redo(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellSMFCommands.cpp
    static Result ExportSMF(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result ImportSMF(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellDisplay.cpp
    static Result Display(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellUtilityCommands.cpp
    static Result Help(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result History(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Version(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Quit(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Shell(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Ports(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result NameChannel(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellStepCommands.cpp
    static Result SelectEvery(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result CopySteps(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result PasteSteps(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result ClearSteps(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Euclid(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Chance(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Ratchet(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result SetLength(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Swing(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Tie(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Untie(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Legato(KRVCommandContext& ioContext, const KRVArguments& inArguments);

    // KRVShellProgramCommands.cpp
    static Result Program(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    // The line save and saveconfig write for a program (0-based, shown
    // from 1); inPortWord is the port's number as a word no channel name
    // takes.
    static std::string ProgramLine(const std::string& inPortWord, int inChannel, int inProgram0);

    // KRVShellSyncCommands.cpp
    static Result Clock(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Latency(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    // The lines save and saveconfig write for the ports that send clock or
    // have a latency; none for a sequence that has neither.
    static std::vector<std::string> PortTimingLines(const KRVSequencer& inSequencer);
    static Result Transport(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    // "transport follow": what the command says, status shows and
    // saveconfig writes.
    static std::string TransportText(const KRVSequencer& inSequencer);
    static Result ClockIn(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    // "clockin off", "clockin NAME": what the command says and status
    // shows.
    static std::string ClockInText(const KRVSequencer& inSequencer);
    // The line saveconfig writes while a clock is followed.
    static std::string ClockInLine(const KRVSequencer& inSequencer);
    // A tempo measured: "120.0 bpm".
    static std::string MeasuredTempoText(double inBPM);
    // Refuses (true) krv's own play, pause, stop and reset while a clock is
    // followed.
    static bool RefusesOwnTransport(KRVCommandContext& ioContext);

    // KRVShellInputCommands.cpp
    static Result Inputs(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Input(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Thru(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    // The lines saveconfig writes for the source listened to and thru;
    // none while neither was chosen.
    static std::vector<std::string> InputLines(const KRVSequencer& inSequencer);
    // A source by its number in `inputs` now, or its name (as typed, there
    // or not); false for a number that names none.
    static bool ReadSource(const KRVCommandContext& inContext, std::string_view inWord,
                           std::string* outName);

    // KRVShellPlayInCommands.cpp
    static Result StepEntry(KRVCommandContext& ioContext, const KRVArguments& inArguments);
    static Result Record(KRVCommandContext& ioContext, const KRVArguments& inArguments);
};
