#include "Harness.h"
#include "MIDICLInputPort.h"
#include "MIDICLMonotonicClock.h"
#include "hosts/builtin/MIDICLBuiltinHost.h"
#include "input/KRVMIDIInput.h"
#include "input/KRVMIDIParser.h"

namespace {

std::string Text(const KRVInputMessage& inMessage) {
    std::string text;
    for (int i = 0; i < inMessage.mLength; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i == 0 ? "%02x" : " %02x", inMessage.mBytes[i]);
        text += hex;
    }
    return text;
}

struct ParserCase {
    const char* mName;
    Bytes mIn;
    const char* mOut;
};

}  // namespace

TEST(InputTest, ParserReadsMessagesAsMIDISays) {
    const ParserCase cases[] = {
        {"running status", {0x91, 60, 100, 62, 80, 60, 0}, "91 3c 64, 91 3e 50, 81 3c 40"},
        {"velocity 0 ends the note", {0x9F, 64, 0}, "8f 40 40"},
        {"real-time inside a message", {0x90, 0xF8, 60, 0xFE, 100}, "f8, 90 3c 64"},
        {"real-time keeps running status",
         {0xB0, 7, 1, 0xFA, 7, 0xF9, 2},
         "b0 07 01, fa, b0 07 02"},
        {"song position", {0xF2, 0x10, 0xF8, 0x02, 0x10}, "f8, f2 10 02"},
        {"one data byte, running", {0xC2, 5, 6}, "c2 05, c2 06"},
        {"sysex skipped", {0xF0, 0x7E, 0x60, 0xF7, 0x90, 60, 1}, "90 3c 01"},
        {"no running status after sysex", {0x90, 60, 1, 0xF0, 1, 0xF7, 62, 1}, "90 3c 01"},
        {"system common ends running status", {0xE0, 0, 64, 0xF3, 1, 2, 3}, "e0 00 40"},
        {"a new status cuts a message", {0x90, 60, 0xD0, 9}, "d0 09"},
        {"data without status", {60, 100}, ""},
    };
    for (const ParserCase& test : cases) {
        KRVMIDIParser parser;
        std::vector<std::string> out;
        for (const std::uint8_t byte : test.mIn) {
            KRVInputMessage message;
            if (parser.Feed(byte, message)) {
                out.push_back(Text(message));
            }
        }
        EXPECT_EQ(Joined(out), test.mOut) << test.mName;
    }
}

// The built-in host with one test source, and a synth of the test's that
// records what it hears.
class BuiltinSourceTest : public testing::Test {
protected:
    void SetUp() override {
        MIDICLBuiltinTestConfig config;
        config.mNumberOfSources = 1;
        MIDICLBuiltinHost::SetTestConfig(config);
        mClient = std::make_unique<MIDICLClient>("krv", "none");
        mSynth.reset(mClient->MakeDestination("synth"));
        mSynth->SetListener(&mHeard);
    }
    void TearDown() override { MIDICLBuiltinHost::ResetTestConfig(); }

    std::unique_ptr<MIDICLClient> mClient;
    NoteRecorder mHeard;
    std::unique_ptr<MIDICLDestination> mSynth;
};

// A keyboard on the test source, krv's thru port sending to the synth.
class InputThruTest : public BuiltinSourceTest {
protected:
    void SetUp() override {
        BuiltinSourceTest::SetUp();
        mThru.reset(mClient->MakeOutputPort("thru"));
        mThru->SetDestination(mSynth->GetEndpoint());
        mInput.SetThru(mThru.get(), 2);
        mInput.Open(
            [this] { return std::unique_ptr<MIDICLInputPort>(mClient->MakeInputPort("in")); },
            mClient->GetSource(0));
    }

    static void Play(const Bytes& inBytes) {
        MIDICLPacketList list;
        list.Add(0, inBytes.data(), inBytes.size());
        MIDICLBuiltinHost::SendFromTestSource(1, list);
    }
    bool IsWaiting() {
        pollfd fd{mInput.GetWakeFd(), POLLIN, 0};
        return poll(&fd, 1, 0) == 1;
    }
    std::vector<std::string> PopAll() {
        std::vector<std::string> popped;
        KRVInputMessage message;
        while (mInput.Pop(message)) {
            popped.push_back(Text(message));
        }
        return popped;
    }

    std::unique_ptr<MIDICLOutputPort> mThru;
    KRVMIDIInput mInput;
};

TEST_F(InputThruTest, QueuesWakesAndPassesThruOnTheThruChannel) {
    EXPECT_FALSE(IsWaiting());
    Play({0x90, 60, 100});
    Play({62, 90});
    ASSERT_TRUE(IsWaiting());
    EXPECT_EQ(Joined(PopAll()), "90 3c 64, 90 3e 5a");
    EXPECT_FALSE(IsWaiting());
    EXPECT_EQ(Joined(mHeard.Take()), "0:on 60/ch3, 0:on 62/ch3");
    mInput.EndThruNotes();
    EXPECT_EQ(mHeard.CountHanging(), 0);
    Play({0x80, 60, 0, 0x90, 64, 1});
    EXPECT_EQ(Joined(PopAll()), "80 3c 00, 90 40 01");
    mInput.Close();
    EXPECT_EQ(mHeard.CountHanging(), 0);
    EXPECT_EQ(mHeard.CountNoteOns(64), 1);
}

// The sequencer following the clock of the built-in host's test source. The
// clocks bear stamps a period apart, in the past, so that a note's stamp
// says which clock played it; a note ended at once after the last message
// sent (a Stop) is told from one ended by the silence that counts as a
// stopped clock, which lasts half a second at this period.
class ClockInTest : public BuiltinSourceTest {
protected:
    static constexpr std::uint64_t kPeriod = 200000000;

    void SetUp() override {
        BuiltinSourceTest::SetUp();
        MIDICLOutputPort* port = mClient->MakeOutputPort("out");
        port->SetDestination(mSynth->GetEndpoint());
        mSequencer.AddPort(port);
        mSequencer.SetScale(1, 16);
        mSequencer.AddTrack(KRVTrack());
        for (int step1 = 1; step1 <= 16; step1++) {
            mSequencer.SetNote(1, step1, 59 + step1);
            mSequencer.SetVelocity(1, step1, 100);
        }
        mSequencer.SetLength(1, 8, 2);
        mSequencer.FollowClock(
            [this] { return std::unique_ptr<MIDICLInputPort>(mClient->MakeInputPort("clock")); },
            mClient->GetSource(0), "test source 1");
    }
    void TearDown() override {
        mSequencer.StopFollowingClock();
        BuiltinSourceTest::TearDown();
    }

    // One message a list; inClocks timing clocks after inBefore.
    void Send(const Bytes& inBefore, int inClocks = 0) {
        for (std::size_t i = 0; i < inBefore.size() + std::size_t(inClocks); ++i) {
            const bool clock = i >= inBefore.size();
            const std::uint8_t byte = clock ? 0xF8 : inBefore[i];
            mStamp += clock ? kPeriod : 0;
            MIDICLPacketList list;
            list.Add(mStamp, &byte, 1);
            MIDICLBuiltinHost::SendFromTestSource(1, list);
        }
        mSentNS = MIDICLMonotonicClock::NowNS();
    }
    // What the synth heard once it has heard inCount messages and no note
    // sounds, as "on 60@3": the note and the clock (from 0) whose stamp it
    // bears, or "@stop" soon after the last message sent, "@gap" later.
    std::vector<std::string> Heard(std::size_t inCount) {
        EXPECT_TRUE(
            Await([&] { return mHeard.CountStamps() >= inCount && mHeard.CountHanging() == 0; },
                  std::chrono::seconds(5)));
        const std::vector<std::string> heard = mHeard.Take();
        const std::vector<std::uint64_t> stamps = mHeard.TakeStamps();
        std::vector<std::string> out;
        for (std::size_t i = 0; i < heard.size(); ++i) {
            const std::string at = stamps[i] > mStamp
                                       ? stamps[i] < mSentNS + kPeriod ? "stop" : "gap"
                                   : (stamps[i] - mFirst) % kPeriod == 0
                                       ? std::to_string((stamps[i] - mFirst) / kPeriod)
                                       : "?";
            out.push_back(heard[i].substr(heard[i].find(':') + 1) + "@" + at);
        }
        return out;
    }

    KRVSequencer mSequencer;
    const std::uint64_t mFirst = MIDICLMonotonicClock::NowNS() - 100 * kPeriod;
    std::uint64_t mStamp = mFirst - kPeriod;
    std::uint64_t mSentNS = 0;
};

TEST_F(ClockInTest, TicksFollowTheClockItsStartStopAndSongPosition) {
    Send({0xFA}, 48);
    Send({0xFC});
    EXPECT_EQ(Joined(Heard(16)),
              "on 60@0, off 60@3, on 61@6, off 61@9, on 62@12, off 62@15, on 63@18, off 63@21, "
              "on 64@24, off 64@27, on 65@30, off 65@33, on 66@36, off 66@39, on 67@42, "
              "off 67@stop");
    EXPECT_NEAR(mSequencer.GetClockBPM(), 60.0 / 24 / (kPeriod * 1e-9), 1e-6);
    // From the sixth sixteenth, until the clock falls silent.
    Send({0xF2, 6, 0, 0xFB}, 7);
    EXPECT_EQ(Joined(Heard(4)), "on 66@48, off 66@51, on 67@54, off 67@gap");
    // The next clock goes on where the silence stopped.
    Send({}, 12);
    EXPECT_EQ(Joined(Heard(4)), "on 68@60, off 68@63, on 69@66, off 69@gap");
}
