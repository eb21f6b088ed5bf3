#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLException.h"
#include "MIDICLOutputPort.h"
#include "MIDICLRecorder.h"
#include "hosts/builtin/MIDICLBuiltinHost.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A port on the built-in host aimed at a virtual destination that records.
class MIDICLOutputPortTest : public ::testing::Test {
protected:
    void SetUp() override { Open(MIDICLBuiltinTestConfig{}); }
    void TearDown() override { MIDICLBuiltinHost::ResetTestConfig(); }

    void Open(const MIDICLBuiltinTestConfig& inConfig) {
        MIDICLBuiltinHost::SetTestConfig(inConfig);
        mPort.reset();
        mDestination.reset();
        mClient = std::make_unique<MIDICLClient>("test", "none");
        mDestination.reset(mClient->MakeDestination("sink"));
        mDestination->SetListener(&mRecorder);
        mPort.reset(mClient->MakeOutputPort("output"));
        mPort->SetDestination(mDestination->GetEndpoint());
    }

    std::vector<Bytes> Heard() {
        std::vector<Bytes> bytes;
        for (const auto& heard : mRecorder.Take()) {
            bytes.push_back(heard.mBytes);
        }
        return bytes;
    }

    MIDICLRecorder mRecorder;
    std::unique_ptr<MIDICLClient> mClient;
    std::unique_ptr<MIDICLDestination> mDestination;
    std::unique_ptr<MIDICLOutputPort> mPort;
};

// Each sender's status byte, the channel in its low bits, data in order.
TEST_F(MIDICLOutputPortTest, EachMessageHasItsStatusAndItsData) {
    mPort->SendNoteOn(0, 60, 100);
    mPort->SendNoteOff(15, 60, 0);
    mPort->SendPolyAftertouch(3, 61, 20);
    mPort->SendControlChange(4, 7, 127);
    mPort->SendProgramChange(9, 5);
    mPort->SendChannelAftertouch(1, 64);
    mPort->SendPitchBend(2, 0x00, 0x40);
    mPort->SendClock();
    mPort->SendStart();
    mPort->SendContinue();
    mPort->SendStop();
    const std::vector<Bytes> expected = {
        {0x90, 60, 100},    {0x8F, 60, 0}, {0xA3, 61, 20}, {0xB4, 7, 127}, {0xC9, 5}, {0xD1, 64},
        {0xE2, 0x00, 0x40}, {0xF8},        {0xFA},         {0xFB},         {0xFC}};
    EXPECT_EQ(Heard(), expected);
}

TEST_F(MIDICLOutputPortTest, TimeStampsReachTheDestinationUnchanged) {
    mPort->SendNoteOn(0, 60, 100);
    mPort->SendNoteOff(0, 60, 0, 123456789);
    mPort->SendClock(42);
    const auto heard = mRecorder.Take();
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0].mTimeStamp, 0u);
    EXPECT_EQ(heard[1].mTimeStamp, 123456789u);
    EXPECT_EQ(heard[2].mTimeStamp, 42u);
}

TEST_F(MIDICLOutputPortTest, PacketListPassesThroughWithItsPackets) {
    MIDICLPacketList list;
    const std::uint8_t first[] = {0x90, 1, 2, 0x80, 1, 0};
    const std::uint8_t second[] = {0xFA};
    ASSERT_TRUE(list.Add(7, first, sizeof first));
    ASSERT_TRUE(list.Add(9, second, sizeof second));
    mPort->SendPacketList(&list);
    const auto heard = mRecorder.Take();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].mBytes, Bytes(first, first + sizeof first));
    EXPECT_EQ(heard[0].mTimeStamp, 7u);
    EXPECT_EQ(heard[1].mBytes, Bytes{0xFA});
    EXPECT_EQ(heard[1].mTimeStamp, 9u);
}

TEST(MIDICLPacketListTest, RefusesWhatDoesNotFitAndStaysUnchanged) {
    MIDICLPacketList list;
    std::vector<std::uint8_t> bytes(MIDICLPacketList::kMaxBytes, 0xF8);
    EXPECT_FALSE(list.Add(0, bytes.data(), 0));
    ASSERT_TRUE(list.Add(0, bytes.data(), bytes.size() - 1));
    EXPECT_FALSE(list.Add(0, bytes.data(), 2));
    EXPECT_EQ(list.GetNumPackets(), 1u);
    ASSERT_TRUE(list.Add(5, bytes.data(), 1));
    EXPECT_EQ(list.GetPacket(1).mTimeStamp, 5u);
    EXPECT_EQ(list.GetPacket(2).mData, nullptr);

    MIDICLPacketList many;
    for (std::size_t i = 0; i < MIDICLPacketList::kMaxPackets; ++i) {
        ASSERT_TRUE(many.Add(i, bytes.data(), 1));
    }
    EXPECT_FALSE(many.Add(0, bytes.data(), 1));
}

// The playback thread sends through the Try senders, which hand the same
// status back instead of throwing it.
TEST_F(MIDICLOutputPortTest, RefusedSendThrowsOrReturnsHostStatusAndNextSendIsTried) {
    Open(MIDICLBuiltinTestConfig{0, MIDICLException::kMIDISend, -32, 2, false});
    try {
        mPort->SendNoteOn(0, 60, 100);
        FAIL() << "a refused send must throw";
    } catch (const MIDICLException& e) {
        EXPECT_EQ(e.GetCallNumber(), MIDICLException::kMIDISend);
        EXPECT_EQ(e.GetErrCode(), -32);
    }
    EXPECT_EQ(mPort->TrySendNoteOn(0, 60, 100), -32);
    EXPECT_TRUE(Heard().empty());
    EXPECT_EQ(mPort->TrySendNoteOn(1, 61, 90, 77), 0);
    EXPECT_EQ(mPort->TrySendNoteOff(2, 61, 0), 0);
    mPort->SendNoteOff(0, 60, 0);
    EXPECT_EQ(Heard(), (std::vector<Bytes>{{0x91, 61, 90}, {0x82, 61, 0}, {0x80, 60, 0}}));
}

TEST_F(MIDICLOutputPortTest, PortWithoutDestinationDropsQuietly) {
    std::unique_ptr<MIDICLOutputPort> loose(mClient->MakeOutputPort("loose"));
    loose->SendNoteOn(0, 60, 100);
    loose->SetDestination(5);
    EXPECT_FALSE(loose->GetDestination().IsValid());
    loose->SendNoteOn(0, 60, 100);
    EXPECT_TRUE(Heard().empty());
}

std::uint8_t* MakeSysEx() {
    return new std::uint8_t[4]{0xF0, 0x7D, 0x01, 0xF7};
}

TEST_F(MIDICLOutputPortTest, AcceptedSysExIsDeliveredAndReleasedOnCompletion) {
    mPort->SendSysEx(MakeSysEx(), 4);
    EXPECT_EQ(Heard(), (std::vector<Bytes>{{0xF0, 0x7D, 0x01, 0xF7}}));

    // Held back, the buffer stays the port's until the host calls back; the
    // leak checker of the sanitizer build tells whether it is released then.
    Open(MIDICLBuiltinTestConfig{0, 0, 0, 1, true});
    mPort->SendSysEx(MakeSysEx(), 4);
    EXPECT_EQ(MIDICLBuiltinHost::CompletePendingSysEx(), 1);
    EXPECT_EQ(MIDICLBuiltinHost::CompletePendingSysEx(), 0);
}

TEST_F(MIDICLOutputPortTest, LongSysExArrivesWholeAcrossLists) {
    const std::size_t length = 3 * MIDICLPacketList::kMaxBytes + 5;
    auto* buffer = new std::uint8_t[length];
    for (std::size_t i = 0; i < length; ++i) {
        buffer[i] = static_cast<std::uint8_t>(i & 0x7F);
    }
    buffer[0] = 0xF0;
    buffer[length - 1] = 0xF7;
    const Bytes sent(buffer, buffer + length);
    mPort->SendSysEx(buffer, static_cast<std::uint32_t>(length));
    Bytes joined;
    for (const Bytes& part : Heard()) {
        EXPECT_LE(part.size(), MIDICLPacketList::kMaxBytes);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, sent);
}

TEST_F(MIDICLOutputPortTest, RefusedSysExReleasesBufferBeforeThrowing) {
    Open(MIDICLBuiltinTestConfig{0, MIDICLException::kMIDISendSysEx, -5, 1, false});
    try {
        mPort->SendSysEx(MakeSysEx(), 4);
        FAIL() << "a refused system-exclusive send must throw";
    } catch (const MIDICLException& e) {
        EXPECT_EQ(e.GetCallNumber(), MIDICLException::kMIDISendSysEx);
        EXPECT_EQ(e.GetErrCode(), -5);
    }
    EXPECT_TRUE(Heard().empty());
    // Idle again: a second request goes through.
    mPort->SendSysEx(MakeSysEx(), 4);
    EXPECT_EQ(Heard().size(), 1u);
}

}  // namespace
