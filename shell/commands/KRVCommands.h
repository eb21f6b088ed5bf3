#pragma once

#include <string>

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

    // KRVShellSelectCommands.cpp
    static Result SelectAll(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SelectTrack(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result UnSelectTrack(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SelectStep(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result UnSelectStep(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SelectEvent(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result UnSelectEvent(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result ClearSelection(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result InvertSelection(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SelectQuarterNotes(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SelectEighthNotes(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellEditCommands.cpp
    static Result SetNote(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SetVelocity(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SetGateTime(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SetPort(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SetChannel(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result ChangeNote(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result ChangeChannel(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result FitToKey(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Mute(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result UnMute(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result InvertMute(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result HSolo(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result HUnSolo(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result VSolo(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result VUnSolo(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Rotate(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Vary(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Vary2(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellRandomCommands.cpp
    static Result RandomiseChannel(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result RandomiseGate(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result RandomiseMute(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result RandomiseNote(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result RandomisePort(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result RandomiseVelocity(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellTrackCommands.cpp
    static Result NewTrack(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result DeleteTrack(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result CopyTrack(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result MuteTrack(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result UnMuteTrack(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SetScale(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SetLoop(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellTransportCommands.cpp
    static Result Play(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Pause(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Stop(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Reset(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result BPM(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Status(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellScriptCommands.cpp
    static Result Save(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SaveConfig(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result SaveSelection(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Read(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Load(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result DefaultSequence(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result DeleteSequence(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result DeleteConfig(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Migration(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellUndoCommands.cpp
    static Result Undo(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Redo(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellSMFCommands.cpp
    static Result ExportSMF(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result ImportSMF(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellDisplay.cpp
    static Result Display(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellUtilityCommands.cpp
    static Result Help(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result History(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Version(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Quit(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Shell(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result Ports(KRVShell& ioShell, const KRVArguments& inArguments);
    static Result NameChannel(KRVShell& ioShell, const KRVArguments& inArguments);

    // KRVShellProgramCommands.cpp
    static Result Program(KRVShell& ioShell, const KRVArguments& inArguments);
    // The line save and saveconfig write for a program (0-based, shown
    // from 1); inPortWord is the port's number as a word no channel name
    // takes.
    static std::string ProgramLine(const std::string& inPortWord, int inChannel, int inProgram0);
};
