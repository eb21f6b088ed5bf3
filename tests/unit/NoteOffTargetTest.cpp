// Whatever is edited while a note sounds, its note-off goes where the
// note-on went, and stop ends it, also on a track muted since.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLInputPortListener.h"
#include "MIDICLOutputPort.h"
#include "model/KRVSequencer.h"

namespace {

// Writes what reaches its destination as "a on 1/60;" (name, kind,
// channel, note) into a log shared by all destinations.
class Heard : public MIDICLInputPortListener {
public:
    Heard(const char* inName, std::mutex* inMutex, std::string* outLog)
        : mName(inName), mMutex(inMutex), mLog(outLog) {}
    void Hear(const MIDICLPacketList* inList) override {
        std::lock_guard<std::mutex> lock(*mMutex);
        for (std::size_t i = 0; i < inList->GetNumPackets(); i++) {
            const std::uint8_t* data = inList->GetPacket(i).mData;
            const bool on = (data[0] & 0xF0) == 0x90 && data[2] != 0;
            *mLog += mName + (on ? " on " : " off ") + std::to_string((data[0] & 0x0F) + 1) + "/" +
                     std::to_string(data[1]) + ";";
        }
    }

private:
    std::string mName;
    std::mutex* mMutex;
    std::string* mLog;
};

struct Edit {
    const char* mWhat;
    std::function<void(KRVSequencer&)> mApply;
};

TEST(NoteOffTarget, StopEndsTheNoteWhereItWentWhateverWasEdited) {
    const Edit kEdits[] = {
        {"note", [](KRVSequencer& ioSeq) { ioSeq.SetNote(1, 1, 72); }},
        {"channel", [](KRVSequencer& ioSeq) { ioSeq.SetChannel(1, 1, 5); }},
        {"port", [](KRVSequencer& ioSeq) { ioSeq.SetPort(1, 1, 1); }},
        {"track muted", [](KRVSequencer& ioSeq) { ioSeq.MuteTrack(1); }},
    };
    for (const Edit& edit : kEdits) {
        std::mutex mutex;
        std::string log;
        Heard a("a", &mutex, &log);
        Heard b("b", &mutex, &log);
        MIDICLClient client("note-off test", "none");
        std::unique_ptr<MIDICLDestination> destinationA(client.MakeDestination("a"));
        std::unique_ptr<MIDICLDestination> destinationB(client.MakeDestination("b"));
        destinationA->SetListener(&a);
        destinationB->SetListener(&b);
        KRVSequencer sequencer;
        for (int port = 0; port < 2; port++) {
            MIDICLOutputPort* output = client.MakeOutputPort("out");
            output->SetDestination(port);
            sequencer.AddPort(output);
        }
        const int track1 = sequencer.AddTrack(KRVTrack());
        sequencer.SetNote(track1, 1, 60);
        sequencer.SetVelocity(track1, 1, 100);
        sequencer.SetGateTime(track1, 1, 90);
        // A step lasts half a second: the note sounds until the stop.
        sequencer.SetBPM(30);
        sequencer.Play();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        auto heard = [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return log;
        };
        while (heard().empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        edit.mApply(sequencer);
        sequencer.Stop();
        EXPECT_EQ(heard(), "a on 1/60;a off 1/60;") << "edited: " << edit.mWhat;
    }
}

}  // namespace
