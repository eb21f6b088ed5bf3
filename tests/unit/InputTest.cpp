#include <poll.h>

#include "Harness.h"
#include "MIDICLInputPort.h"
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
    std::vector<std::string> mOut;
};

}  // namespace

TEST(InputTest, ParserReadsMessagesAsMIDISays) {
    const ParserCase cases[] = {
        {"note on", {0x90, 60, 100}, {"90 3c 64"}},
        {"running status", {0x91, 60, 100, 62, 80, 60, 0}, {"91 3c 64", "91 3e 50", "81 3c 40"}},
        {"velocity 0 ends the note", {0x9F, 64, 0}, {"8f 40 40"}},
        {"real-time inside a message", {0x90, 0xF8, 60, 0xFE, 100}, {"90 3c 64"}},
        {"real-time keeps running status", {0xB0, 7, 1, 0xFA, 7, 2}, {"b0 07 01", "b0 07 02"}},
        {"one data byte, running", {0xC2, 5, 6}, {"c2 05", "c2 06"}},
        {"sysex skipped", {0xF0, 0x7E, 0x60, 0xF7, 0x90, 60, 1}, {"90 3c 01"}},
        {"no running status after sysex", {0x90, 60, 1, 0xF0, 1, 0xF7, 62, 1}, {"90 3c 01"}},
        {"system common ends running status", {0xE0, 0, 64, 0xF3, 1, 2, 3}, {"e0 00 40"}},
        {"a new status cuts a message", {0x90, 60, 0xD0, 9}, {"d0 09"}},
        {"data without status", {60, 100}, {}},
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
        EXPECT_EQ(out, test.mOut) << test.mName;
    }
}

// A keyboard on the built-in host's test source, krv's thru port sending to
// a synth of the test's.
class InputThruTest : public testing::Test {
protected:
    void SetUp() override {
        MIDICLBuiltinTestConfig config;
        config.mNumberOfSources = 1;
        MIDICLBuiltinHost::SetTestConfig(config);
        mClient = std::make_unique<MIDICLClient>("krv", "none");
        mSynth.reset(mClient->MakeDestination("synth"));
        mSynth->SetListener(&mHeard);
        mThru.reset(mClient->MakeOutputPort("thru"));
        mThru->SetDestination(mSynth->GetEndpoint());
        mInput.SetThru(mThru.get(), 2);
        mInput.Open(
            [this] { return std::unique_ptr<MIDICLInputPort>(mClient->MakeInputPort("in")); },
            mClient->GetSource(0));
    }
    void TearDown() override { MIDICLBuiltinHost::ResetTestConfig(); }

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

    std::unique_ptr<MIDICLClient> mClient;
    NoteRecorder mHeard;
    std::unique_ptr<MIDICLDestination> mSynth;
    std::unique_ptr<MIDICLOutputPort> mThru;
    KRVMIDIInput mInput;
};

TEST_F(InputThruTest, QueuesWakesAndPassesThruOnTheThruChannel) {
    EXPECT_EQ(mClient->GetNumberOfSources(), 1);
    EXPECT_FALSE(IsWaiting());
    Play({0x90, 60, 100});
    Play({62, 90});
    ASSERT_TRUE(IsWaiting());
    EXPECT_EQ(PopAll(), (std::vector<std::string>{"90 3c 64", "90 3e 5a"}));
    EXPECT_FALSE(IsWaiting());
    EXPECT_EQ(mHeard.Take(), (std::vector<std::string>{"0:on 60/ch3", "0:on 62/ch3"}));
    mInput.EndThruNotes();
    EXPECT_EQ(mHeard.CountHanging(), 0);
    Play({0x80, 60, 0, 0x90, 64, 1});
    EXPECT_EQ(PopAll(), (std::vector<std::string>{"80 3c 00", "90 40 01"}));
    mInput.Close();
    EXPECT_EQ(mHeard.CountHanging(), 0);
    EXPECT_EQ(mHeard.CountNoteOns(64), 1);
}

TEST_F(InputThruTest, DropsAndCountsPastTheBound) {
    for (std::size_t i = 0; i < KRVInputQueue::kCapacity + 5; ++i) {
        Play({0xA0, 60, 1});
    }
    EXPECT_EQ(mInput.TakeDroppedCount(), 5u);
    EXPECT_EQ(PopAll().size(), KRVInputQueue::kCapacity);
    EXPECT_EQ(mInput.TakeDroppedCount(), 0u);
}
