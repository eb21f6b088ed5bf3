// clock and latency: what each port sends besides the notes, and when.
#include <strings.h>

#include <string>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "model/KRVSequencer.h"

namespace {

constexpr const char* kBadPort = "bad port number\n";

bool IsPort(const KRVSequencer& inSequencer, int inPort) {
    return inPort >= 0 && inPort < inSequencer.GetPortCount();
}

// 1 for "on", 0 for "off" (in any case), -1 for anything else.
int ReadSwitch(const char* inWord) {
    if (strcasecmp(inWord, "on") == 0) {
        return 1;
    }
    return strcasecmp(inWord, "off") == 0 ? 0 : -1;
}

void WriteClock(KRVShellInterface& ioOut, int inPort, bool inSends) {
    ioOut.WriteFormattedD(inSends ? "port %d sends clock\n" : "port %d sends no clock\n", inPort);
}

void WriteLatency(KRVShellInterface& ioOut, int inPort, int inMS) {
    ioOut.WriteFormattedDD("port %d latency %d ms\n", inPort, inMS);
}

KRVCommandResult ListClocks(KRVCommandContext& ioContext) {
    const KRVPortTiming& timing = ioContext.GetSequencer().GetPortTiming();
    if (!timing.HasClock()) {
        ioContext.GetInterface().Write("no port sends clock\n");
    }
    for (int port = 0; port < timing.GetPortCount(); port++) {
        if (timing.SendsClock(port)) {
            WriteClock(ioContext.GetInterface(), port, true);
        }
    }
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult ListLatencies(KRVCommandContext& ioContext) {
    const KRVPortTiming& timing = ioContext.GetSequencer().GetPortTiming();
    bool any = false;
    for (int port = 0; port < timing.GetPortCount(); port++) {
        if (timing.GetLatency(port) != 0) {
            WriteLatency(ioContext.GetInterface(), port, timing.GetLatency(port));
            any = true;
        }
    }
    if (!any) {
        ioContext.GetInterface().Write("no port has a latency\n");
    }
    return KRVCommandResult::kSucceeded;
}

}  // namespace

// One word is "on" or "off" for port 0, or a port to show; two are a port
// and "on" or "off".
KRVCommandResult KRVCommands::Clock(KRVCommandContext& ioContext, const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ListClocks(ioContext);
    }
    KRVSequencer& sequencer = ioContext.GetSequencer();
    const bool portGiven = inArguments.Has(2) || KRVStartsWithDigit(inArguments.Get(1));
    const int port = portGiven ? inArguments.ReadInt(1) : 0;
    if (!IsPort(sequencer, port)) {
        return ioContext.Refuse(kBadPort);
    }
    if (portGiven && !inArguments.Has(2)) {
        WriteClock(ioContext.GetInterface(), port, sequencer.GetPortTiming().SendsClock(port));
        return KRVCommandResult::kSucceeded;
    }
    const int sends = ReadSwitch(inArguments.GetText(portGiven ? 2 : 1));
    if (sends < 0) {
        return ioContext.Refuse("need on or off\n");
    }
    sequencer.SetClock(port, sends == 1);
    WriteClock(ioContext.GetInterface(), port, sends == 1);
    return KRVCommandResult::kSucceeded;
}

// One word is port 0's latency; two are a port and its latency.
KRVCommandResult KRVCommands::Latency(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ListLatencies(ioContext);
    }
    KRVSequencer& sequencer = ioContext.GetSequencer();
    const bool portGiven = inArguments.Has(2);
    const int port = portGiven ? inArguments.ReadInt(1) : 0;
    if (!IsPort(sequencer, port)) {
        return ioContext.Refuse(kBadPort);
    }
    int ms = 0;
    if (!inArguments.ReadInRange(portGiven ? 2 : 1, KRVPortTiming::kMinLatencyMS,
                                 KRVPortTiming::kMaxLatencyMS, &ms)) {
        return ioContext.Refuse("need latency -20 to 1000 ms\n");
    }
    sequencer.SetLatency(port, ms);
    WriteLatency(ioContext.GetInterface(), port, ms);
    return KRVCommandResult::kSucceeded;
}

namespace {

using TransportMode = KRVSequencer::TransportMode;

constexpr const char* kTransportWords[] = {"off", "follow", "lead"};

}  // namespace

std::string KRVCommands::TransportText(const KRVSequencer& inSequencer) {
    return std::string("transport ") +
           kTransportWords[static_cast<int>(inSequencer.GetTransportMode())];
}

// Alone it says the mode; with a word it sets it, where the host has a
// transport.
KRVCommandResult KRVCommands::Transport(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    if (inArguments.Has(1)) {
        int mode = 0;
        while (mode < 3 && strcasecmp(inArguments.GetText(1), kTransportWords[mode]) != 0) {
            mode++;
        }
        if (mode == 3) {
            return ioContext.Refuse("need off, follow or lead\n");
        }
        if (mode != 0 && sequencer.IsFollowingClock()) {
            return ioContext.Refuse("need clockin off to follow or lead the transport\n");
        }
        switch (sequencer.SetTransportMode(static_cast<TransportMode>(mode))) {
            case KRVSequencer::TransportResult::kDone:
                break;
            case KRVSequencer::TransportResult::kNoTransport:
                return ioContext.Refuse("no transport to follow or lead here (JACK has one)\n");
            case KRVSequencer::TransportResult::kTaken:
                return ioContext.Refuse("another client leads the JACK transport\n");
            case KRVSequencer::TransportResult::kNoThread:
                return ioContext.Refuse("could not start following the transport\n");
        }
    }
    ioContext.GetInterface().WriteFormattedS("%s\n", TransportText(sequencer).c_str());
    return KRVCommandResult::kSucceeded;
}

std::vector<std::string> KRVCommands::PortTimingLines(const KRVSequencer& inSequencer) {
    std::vector<std::string> lines;
    const KRVPortTiming& timing = inSequencer.GetPortTiming();
    for (int port = 0; port < timing.GetPortCount(); port++) {
        if (timing.SendsClock(port)) {
            lines.push_back("clock " + std::to_string(port) + " on");
        }
        if (timing.GetLatency(port) != 0) {
            lines.push_back("latency " + std::to_string(port) + " " +
                            std::to_string(timing.GetLatency(port)));
        }
    }
    return lines;
}
