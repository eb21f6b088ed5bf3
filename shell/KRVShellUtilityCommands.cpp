// help, history, version, quit, shell, ports and namechannel.
#include <string>

#include "KRVCommandRunner.h"
#include "KRVMIDIFailure.h"
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVWords.h"
#include "MIDICLClient.h"
#include "MIDICLOutputPort.h"

void KRVShell::WriteVersion(KRVShell* inShell) {
    inShell->mInterface->WriteFormattedSS("KRVShell built %s %s\n", __DATE__, __TIME__);
}

int KRVShell::Help(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    WriteVersion(inShell);
    out->Write("hint: (param1) means param is required\n");
    out->Write("hint: [param1] means param is optional\n");
    for (const Command& command : sCommands) {
        out->Write(command.mCommand);
        if (command.mAlias[0] != '\0') {
            out->Write("/");
            out->Write(command.mAlias);
        }
        out->WriteFormattedS(": %s\n", command.mDescription);
    }
    return 0;
}

int KRVShell::History(KRVShell* inShell) {
    for (int i = 0; i < inShell->GetHistoryCount(); i++) {
        std::pair<int, std::string> entry = inShell->GetHistoryEntryByIndex(i);
        inShell->mInterface->WriteFormattedD("%d ", entry.first);
        inShell->mInterface->WriteFormattedS("%s\n", entry.second.c_str());
    }
    return 0;
}

int KRVShell::Version(KRVShell* inShell) {
    WriteVersion(inShell);
    return 0;
}

int KRVShell::Quit(KRVShell*) {
    return 1;
}

// Word 1 goes to the host shell as it stands, so a whole pipeline can be
// given as one quoted word; the further words go in single quotes.
int KRVShell::Shell(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need shell command\n")) {
        return 0;
    }
    if (!inShell->mShellCommandsAllowed) {
        out->Write("shell commands are switched off\n");
        return 0;
    }
    std::string commandLine = inShell->mParameters[1] + " ";
    for (int i = 2; i <= inShell->GetParamCount(); i++) {
        commandLine += "'" + inShell->mParameters[i] + "' ";
    }
    // What we printed so far must come out before the command's own output.
    out->Flush();
    if (!KRVCommandRunner::Run(commandLine, out)) {
        out->Write("could not spawn command\n");
    }
    return 0;
}

// Each port is listed with the destination it sends to; one that has gone
// away since start-up says so rather than showing whatever now has its place,
// and one that could not connect says why.
int KRVShell::Ports(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    inShell->TellOutputGone(true);
    for (int i = 0; i < inShell->mSequencer->GetPortCount(); i++) {
        char name[MIDICLClient::kNameBufferSize];
        MIDICLOutputPort* port = inShell->mSequencer->GetPort(i);
        bool exists = port != nullptr && port->GetDestinationName(name, sizeof name);
        out->WriteFormattedD("output port %d is ", i);
        out->WriteFormattedS("%s\n", exists ? name : "(destination no longer available)");
        if (const int status = port != nullptr ? port->GetConnectStatus() : 0; status != 0) {
            out->WriteFormattedD("output port %d could not connect to ", i);
            out->WriteFormattedS("%s: ", name);
            out->WriteFormattedS("%s\n", KRVMIDIFailure::DescribeStatus(status).c_str());
        }
    }
    return 0;
}

int KRVShell::NameChannel(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    int count = inShell->GetParamCount();
    if (count < 2) {
        out->Write("need channel, or port and channel\n");
        return 0;
    }
    // Two arguments name a channel of port 0; three give the port first.
    int port = count == 2 ? 0 : KRVReadInt(inShell->GetParam(1));
    int channel = KRVReadInt(inShell->GetParam(count == 2 ? 1 : 2));
    const char* name = inShell->GetParam(count == 2 ? 2 : 3);
    if (port < 0 || port >= inShell->mSequencer->GetPortCount()) {
        out->Write("bad port number\n");
        return 0;
    }
    if (channel < 1 || channel > 16) {
        out->Write("bad channel number\n");
        return 0;
    }
    // saveconfig must be able to write the name on a line that reads back.
    if (ChannelNameLine(port, channel, name).size() > KRVLineLimit::kMaxLineLength) {
        out->Write("channel name too long\n");
        return 0;
    }
    inShell->mSequencer->SetChannelName(port, channel, name);
    out->WriteFormattedDD("port %d channel %d named ", port, channel);
    out->WriteFormattedS("'%s'\n", name);
    return 0;
}
