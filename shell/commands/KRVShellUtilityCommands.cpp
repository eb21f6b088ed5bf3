// help, history, version, quit, shell, ports and namechannel.
#include <string>
#include <vector>

#include "KRVCommandContext.h"
#include "KRVMIDIFailure.h"
#include "KRVShellInterface.h"
#include "MIDICLClient.h"
#include "MIDICLOutputPort.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommandRunner.h"
#include "commands/KRVCommands.h"
#include "console/KRVLineLimit.h"
#include "model/KRVSequencer.h"

namespace {

void WriteVersion(KRVShellInterface& ioOut) {
    ioOut.WriteFormattedSS("KRVShell built %s %s\n", __DATE__, __TIME__);
}

void WriteConnections(KRVShellInterface& ioOut, const MIDICLOutputPort& inPort,
                      bool inDestinationExists) {
    const std::vector<MIDICLConnection> connections = inPort.GetConnections();
    for (const MIDICLConnection& connection : connections) {
        ioOut.WriteFormattedS("  connected to %s\n", connection.mName.c_str());
    }
    if (connections.empty()) {
        ioOut.Write("  connected to nothing\n");
    }
    if (!inDestinationExists && !inPort.GetWantedDestination().empty()) {
        ioOut.WriteFormattedS("  waiting for %s to come back\n",
                              inPort.GetWantedDestination().c_str());
    }
}

}  // namespace

KRVCommandResult KRVCommands::Help(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVShellInterface& out = ioContext.GetInterface();
    WriteVersion(out);
    out.Write("hint: (param1) means param is required\n");
    out.Write("hint: [param1] means param is optional\n");
    for (int row = 0; row < KRVCommandTable::GetCount(); row++) {
        const KRVCommand& command = KRVCommandTable::Get(row);
        out.Write(command.mName);
        if (command.HasAlias()) {
            out.Write("/");
            out.Write(command.mAlias);
        }
        out.WriteFormattedS(": %s\n", command.mHelp);
    }
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::History(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVShellInterface& out = ioContext.GetInterface();
    for (int i = 0; i < ioContext.GetShell().GetHistoryCount(); i++) {
        std::pair<int, std::string> entry = ioContext.GetShell().GetHistoryEntryByIndex(i);
        out.WriteFormattedD("%d ", entry.first);
        out.WriteFormattedS("%s\n", entry.second.c_str());
    }
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Version(KRVCommandContext& ioContext, const KRVArguments&) {
    WriteVersion(ioContext.GetInterface());
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Quit(KRVCommandContext&, const KRVArguments&) {
    return KRVCommandResult::kQuit;
}

// Word 1 goes to the host shell as it stands, so a whole pipeline can be
// given as one quoted word; the further words go in single quotes.
KRVCommandResult KRVCommands::Shell(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    KRVShellInterface& out = ioContext.GetInterface();
    if (!ioContext.AreShellCommandsAllowed()) {
        return ioContext.Refuse("shell commands are switched off\n");
    }
    if (ioContext.GetShell().IsReadingScript() && !ioContext.AreShellCommandsInScriptsAllowed()) {
        out.WriteFormattedS(
            "%s: not run from a script; start krv with --allow-shell-in-scripts to allow it\n",
            inArguments.GetText(0));
        return KRVCommandResult::kFailed;
    }
    std::string commandLine(inArguments.Get(1));
    commandLine += ' ';
    for (int i = 2; i <= inArguments.GetCount(); i++) {
        commandLine += '\'';
        commandLine += inArguments.Get(i);
        commandLine += "' ";
    }
    // What we printed so far must come out before the command's own output.
    out.Flush();
    if (!KRVCommandRunner::Run(commandLine, &out)) {
        return ioContext.Refuse("could not spawn command\n");
    }
    return KRVCommandResult::kSucceeded;
}

// Each port is listed with the destination it sends to; one that has gone
// away since start-up says so rather than showing whatever now has its place,
// and one that could not connect says why. Then what the port is connected
// to now, whoever connected it.
KRVCommandResult KRVCommands::Ports(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVShellInterface& out = ioContext.GetInterface();
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    // The user asks what is there now: an announcement the host has not
    // handed on yet is not waited for.
    ioContext.FollowDestinations(true);
    ioContext.TellOutputGone(true);
    for (int i = 0; i < sequencer.GetPortCount(); i++) {
        char name[MIDICLClient::kNameBufferSize];
        MIDICLOutputPort* port = sequencer.GetPort(i);
        bool exists = port != nullptr && port->GetDestinationName(name, sizeof name);
        out.WriteFormattedD("output port %d is ", i);
        out.WriteFormattedS("%s\n", exists ? name : "(destination no longer available)");
        if (const int status = port != nullptr ? port->GetConnectStatus() : 0; status != 0) {
            out.WriteFormattedD("output port %d could not connect to ", i);
            out.WriteFormattedS("%s: ", name);
            out.WriteFormattedS("%s\n", KRVMIDIFailure::DescribeStatus(status).c_str());
        }
        if (port != nullptr) {
            WriteConnections(out, *port, exists);
        }
    }
    if (const std::string system = ioContext.GetMIDISystemName(); !system.empty()) {
        out.WriteFormattedS("MIDI system: %s\n", system.c_str());
    }
    return KRVCommandResult::kSucceeded;
}

const char* KRVCommands::RefusalForChannel(const KRVSequencer& inSequencer, int inPort,
                                           int inChannel) {
    if (inPort < 0 || inPort >= inSequencer.GetPortCount()) {
        return "bad port number\n";
    }
    if (inChannel < 1 || inChannel > 16) {
        return "bad channel number\n";
    }
    return nullptr;
}

// Two arguments name a channel of port 0; three give the port first.
KRVCommandResult KRVCommands::NameChannel(KRVCommandContext& ioContext,
                                          const KRVArguments& inArguments) {
    KRVShellInterface& out = ioContext.GetInterface();
    KRVSequencer& sequencer = ioContext.GetSequencer();
    bool portGiven = inArguments.Has(3);
    int port = portGiven ? inArguments.ReadInt(1) : 0;
    int channel = inArguments.ReadInt(portGiven ? 2 : 1);
    const std::string name(inArguments.Get(portGiven ? 3 : 2));
    if (const char* refusal = RefusalForChannel(sequencer, port, channel)) {
        return ioContext.Refuse(refusal);
    }
    // saveconfig must be able to write the name on a line that reads back.
    if (ChannelNameLine(port, channel, name).size() > KRVLineLimit::kMaxLineLength) {
        return ioContext.Refuse("channel name too long\n");
    }
    // A name stands for one channel: setchannel could not tell two apart.
    int namedPort = 0;
    int namedChannel = 0;
    if (sequencer.GetNamedChannel(name, &namedPort, &namedChannel) &&
        (namedPort != port || namedChannel != channel)) {
        out.WriteFormattedS("channel name %s is already ", name.c_str());
        out.WriteFormattedDD("port %d channel %d\n", namedPort, namedChannel);
        return KRVCommandResult::kFailed;
    }
    sequencer.SetChannelName(port, channel, name);
    out.WriteFormattedDD("port %d channel %d named ", port, channel);
    out.WriteFormattedS("'%s'\n", name.c_str());
    return KRVCommandResult::kSucceeded;
}
