// Runs the commands on standard input, then plays one pass of the loop on
// the built-in host, the clock driven by hand, and prints every message
// playback sent, "TICK STATUS NOTE VELOCITY" a line, ticks counted from the
// top of the loop, after "loop TICKS BPM". One tick past the loop is played,
// where the wrap ends what still sounds. The shell's answers go to standard
// error.
#include <cstdio>
#include <memory>

#include "KRVShell.h"
#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLInputPortListener.h"
#include "MIDICLOutputPort.h"
#include "console/KRVStdioInterface.h"
#include "model/KRVSequencer.h"

namespace {

// The built-in host delivers on the sender's thread, inside the tick.
class Printer : public MIDICLInputPortListener {
public:
    void Hear(const MIDICLPacketList* inList) override {
        for (std::size_t i = 0; i < inList->GetNumPackets(); i++) {
            const std::uint8_t* bytes = inList->GetPacket(i).mData;
            std::printf("%d %d %d %d\n", mTick, bytes[0], bytes[1], bytes[2]);
        }
    }
    int mTick = 0;
};

}  // namespace

int main() {
    MIDICLClient client("smf played loop", "none");
    std::unique_ptr<MIDICLDestination> destination(client.MakeDestination("printer"));
    Printer printer;
    destination->SetListener(&printer);
    MIDICLOutputPort* port = client.MakeOutputPort("output");
    port->SetDestination(0);
    KRVSequencer sequencer;
    sequencer.AddPort(port);
    {
        KRVStdioInterface interface(stdin, stderr);
        KRVShell(&sequencer, &interface).Shell(false);
    }
    std::printf("loop %d %.17g\n", sequencer.GetLoopTicks(), sequencer.GetBPM());
    sequencer.Reset();
    for (; printer.mTick <= sequencer.GetLoopTicks(); printer.mTick++) {
        sequencer.TimerTick();
    }
    return 0;
}
