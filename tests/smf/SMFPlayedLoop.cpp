// Runs the commands on standard input, then plays one pass of the loop on
// the built-in host, the clock driven by hand, and prints every note
// playback sent: "START END CHANNEL NOTE VELOCITY" a line, in clock ticks
// from the top of the loop, channels 1-based, after "loop TICKS BPM". The
// shell's own answers go to standard error.
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVStdioInterface.h"
#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLInputPortListener.h"
#include "MIDICLOutputPort.h"

namespace {

struct Note {
    int mStart;
    int mEnd;
    int mChannel;
    int mKey;
    int mVelocity;
};

// The built-in host delivers on the sender's thread, inside the tick.
class Recorder : public MIDICLInputPortListener {
public:
    void Hear(const MIDICLPacketList* inList) override {
        for (std::size_t i = 0; i < inList->GetNumPackets(); i++) {
            const std::uint8_t* bytes = inList->GetPacket(i).mData;
            const int key = (bytes[0] & 0x0F) << 7 | bytes[1];
            if ((bytes[0] & 0xF0) == 0x90 && bytes[2] != 0) {
                mSounding[key].push_back(mNotes.size());
                mNotes.push_back({mTick, -1, (bytes[0] & 0x0F) + 1, bytes[1], bytes[2]});
            } else if (!mSounding[key].empty()) {
                mNotes[mSounding[key].front()].mEnd = mTick;
                mSounding[key].erase(mSounding[key].begin());
            }
        }
    }
    int mTick = 0;
    std::vector<Note> mNotes;

private:
    std::map<int, std::vector<std::size_t>> mSounding;
};

}  // namespace

int main() {
    MIDICLClient client("smf played loop", "none");
    std::unique_ptr<MIDICLDestination> destination(client.MakeDestination("recorder"));
    Recorder recorder;
    destination->SetListener(&recorder);
    MIDICLOutputPort* port = client.MakeOutputPort("output");
    port->SetDestination(0);
    KRVSequencer sequencer;
    sequencer.AddPort(port);
    {
        KRVStdioInterface interface(stdin, stderr);
        KRVShell(&sequencer, &interface).Shell(false);
    }
    // One tick past the loop: the wrap ends what still sounds.
    const int loopTicks = sequencer.GetLoopTicks();
    sequencer.Reset();
    for (recorder.mTick = 0; recorder.mTick <= loopTicks; recorder.mTick++) {
        sequencer.TimerTick();
    }
    std::printf("loop %d %.17g\n", loopTicks, sequencer.GetBPM());
    for (const Note& note : recorder.mNotes) {
        if (note.mStart < loopTicks) {
            std::printf("%d %d %d %d %d\n", note.mStart, note.mEnd, note.mChannel, note.mKey,
                        note.mVelocity);
        }
    }
    return 0;
}
