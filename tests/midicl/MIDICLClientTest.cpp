#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLException.h"
#include "MIDICLInputPort.h"
#include "MIDICLNameBuffer.h"
#include "MIDICLOutputPort.h"
#include "MIDICLRecorder.h"
#include "hosts/builtin/MIDICLBuiltinHost.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// inMake throws the failure of call inCall with inStatus.
template <typename Make>
void ExpectThrows(Make inMake, MIDICLException::MIDICLCallNumber inCall, std::int32_t inStatus) {
    try {
        inMake();
        FAIL() << "expected call " << inCall << " to fail";
    } catch (const MIDICLException& e) {
        EXPECT_EQ(e.GetCallNumber(), inCall);
        EXPECT_EQ(e.GetErrCode(), inStatus);
    }
}

class MIDICLClientTest : public ::testing::Test {
protected:
    void TearDown() override { MIDICLBuiltinHost::ResetTestConfig(); }

    static MIDICLBuiltinTestConfig Failing(int inCall, std::int32_t inStatus) {
        MIDICLBuiltinTestConfig config;
        config.mFailingCall = inCall;
        config.mFailStatus = inStatus;
        return config;
    }
};

TEST_F(MIDICLClientTest, HostChoiceIsForcedOrRefused) {
    MIDICLClient builtIn("test", "none");
    EXPECT_STREQ(builtIn.GetHostName(), "none");
    ExpectThrows([] { MIDICLClient("test", "coremidi"); }, MIDICLException::kMIDIClientCreate,
                 -EINVAL);
    // The library never looks at the application's environment.
    ::setenv("KRV_MIDI_HOST", "bogus", 1);
    EXPECT_NO_THROW(MIDICLClient("test"));
    ::unsetenv("KRV_MIDI_HOST");
    // Every host offered by name opens or refuses as a forced host; none is
    // an unknown word.
    for (const std::string& name : MIDICLClient::GetHostNames()) {
        try {
            EXPECT_STREQ(MIDICLClient("test", name.c_str()).GetHostName(), name.c_str());
        } catch (const MIDICLException& exception) {
            EXPECT_NE(exception.GetErrCode(), -EINVAL) << name;
        }
    }
    EXPECT_EQ(MIDICLClient::GetHostNames().back(), "none");
    // Trying hosts that are not there says nothing: the library never prints.
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    MIDICLClient chosen("test");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

#ifdef MIDICL_HAVE_ALSA
TEST_F(MIDICLClientTest, ForcedAlsaWithoutDeviceFailsInsteadOfFallingBack) {
    if (::access("/dev/snd/seq", F_OK) == 0) {
        GTEST_SKIP() << "an ALSA sequencer device exists here";
    }
    try {
        MIDICLClient("test", "alsa");
        FAIL() << "forcing ALSA without a device must throw";
    } catch (const MIDICLException& e) {
        EXPECT_EQ(e.GetCallNumber(), MIDICLException::kMIDIClientCreate);
        EXPECT_LT(e.GetErrCode(), 0);
    }
}
#endif

TEST_F(MIDICLClientTest, EachFailingCreationThrowsItsCallAndStatus) {
    MIDICLBuiltinHost::SetTestConfig(Failing(MIDICLException::kMIDIClientCreate, -19));
    ExpectThrows([] { MIDICLClient("test", "none"); }, MIDICLException::kMIDIClientCreate, -19);

    // The leak checker of the sanitizer build sees whether a failed
    // construction left its half-made object behind.
    MIDICLBuiltinHost::SetTestConfig(Failing(MIDICLException::kMIDIOutputPortCreate, -12));
    MIDICLClient client("test", "none");
    ExpectThrows([&] { delete client.MakeOutputPort("output"); },
                 MIDICLException::kMIDIOutputPortCreate, -12);
    std::unique_ptr<MIDICLOutputPort> port(client.MakeOutputPort("output"));
    EXPECT_NE(port, nullptr);

    MIDICLBuiltinHost::SetTestConfig(Failing(MIDICLException::kMIDIDestinationCreate, -1));
    MIDICLClient destinations("test", "none");
    ExpectThrows([&] { delete destinations.MakeDestination("d"); },
                 MIDICLException::kMIDIDestinationCreate, -1);
    EXPECT_EQ(destinations.GetNumberOfDestinations(), 0);

    MIDICLBuiltinHost::SetTestConfig(Failing(MIDICLException::kMIDIInputPortCreate, -2));
    MIDICLClient inputs("test", "none");
    ExpectThrows([&] { delete inputs.MakeInputPort("in"); }, MIDICLException::kMIDIInputPortCreate,
                 -2);
}

// The start-up path: an empty host, one dummy destination, a port per
// destination.
TEST_F(MIDICLClientTest, VirtualDestinationIsListedAndReachedByIndex) {
    MIDICLClient client("KRVSequencer", "none");
    ASSERT_EQ(client.GetNumberOfDestinations(), 0);
    std::unique_ptr<MIDICLDestination> dummy(client.MakeDestination("KRVShell dummy destination"));
    ASSERT_EQ(client.GetNumberOfDestinations(), 1);
    char name[MIDICLClient::kNameBufferSize];
    ASSERT_TRUE(client.GetDestinationName(0, name));
    EXPECT_STREQ(name, "KRVShell dummy destination");
    EXPECT_EQ(client.GetDestination(0), dummy->GetEndpoint());

    MIDICLRecorder recorder;
    dummy->SetListener(&recorder);
    std::unique_ptr<MIDICLOutputPort> port(client.MakeOutputPort("output"));
    port->SetDestination(0);
    port->SendNoteOn(0, 60, 100);
    EXPECT_EQ(recorder.Take().size(), 1u);
}

TEST_F(MIDICLClientTest, DestinationsKeepHostOrderAndVanishedOnesAreReported) {
    MIDICLBuiltinTestConfig config;
    config.mNumberOfDestinations = 2;
    MIDICLBuiltinHost::SetTestConfig(config);
    MIDICLClient client("test", "none");
    auto* extra = client.MakeDestination("extra");
    ASSERT_EQ(client.GetNumberOfDestinations(), 3);
    char name[MIDICLClient::kNameBufferSize];
    EXPECT_TRUE(client.GetDestinationName(1, name));
    EXPECT_STREQ(name, "test destination 2");
    EXPECT_TRUE(client.GetDestinationName(2, name));
    EXPECT_STREQ(name, "extra");

    std::unique_ptr<MIDICLOutputPort> port(client.MakeOutputPort("output"));
    port->SetDestination(2);
    EXPECT_TRUE(port->GetDestinationName(name, sizeof name));
    EXPECT_STREQ(name, "extra");

    const MIDICLEndpointRef gone = extra->GetEndpoint();
    delete extra;
    EXPECT_FALSE(port->GetDestinationName(name, sizeof name));
    EXPECT_EQ(client.GetNumberOfDestinations(), 2);
    EXPECT_FALSE(client.GetDestinationName(2, name));
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(client.GetEndpointName(gone, name));
    EXPECT_FALSE(client.GetDestinationName(-1, name));
}

TEST_F(MIDICLClientTest, ListenersHearOnlyWhileSetAndInputPortsAreNoDestinations) {
    MIDICLClient client("test", "none");
    std::unique_ptr<MIDICLDestination> first(client.MakeDestination("first"));
    std::unique_ptr<MIDICLDestination> second(client.MakeDestination("second"));
    std::unique_ptr<MIDICLInputPort> input(client.MakeInputPort("input"));
    EXPECT_EQ(client.GetNumberOfDestinations(), 2);
    // The built-in host has no sources: connecting one changes nothing.
    input->SetSource(MIDICLEndpointRef{12345});
    input->SetSource(first->GetEndpoint());

    MIDICLRecorder heardFirst;
    MIDICLRecorder heardSecond;
    first->SetListener(&heardFirst);
    second->SetListener(&heardSecond);
    std::unique_ptr<MIDICLOutputPort> port(client.MakeOutputPort("output"));
    port->SetDestination(1);
    port->SendControlChange(0, 1, 2);
    EXPECT_TRUE(heardFirst.Take().empty());
    EXPECT_EQ(heardSecond.Take().size(), 1u);

    second->SetListener(nullptr);
    port->SendControlChange(0, 1, 2);
    EXPECT_TRUE(heardSecond.Take().empty());

    // Data to a destination that went away is dropped, not delivered late.
    second->SetListener(&heardSecond);
    second.reset();
    port->SendControlChange(0, 1, 2);
    EXPECT_TRUE(heardSecond.Take().empty());
}

// Objects outlive their client, as at shut-down.
TEST_F(MIDICLClientTest, PortsAndDestinationsWorkAfterTheClientIsGone) {
    auto client = std::make_unique<MIDICLClient>("test", "none");
    std::unique_ptr<MIDICLDestination> destination(client->MakeDestination("d"));
    std::unique_ptr<MIDICLOutputPort> port(client->MakeOutputPort("output"));
    port->SetDestination(0);
    MIDICLRecorder recorder;
    destination->SetListener(&recorder);
    client.reset();
    port->SendNoteOff(0, 1, 0);
    EXPECT_EQ(recorder.Take().size(), 1u);
}

TEST(MIDICLNameBufferTest, TruncatesAtCharacterBoundaryAndTerminates) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    MIDICLNameBuffer::Copy("abc", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "abc");
    MIDICLNameBuffer::Copy("abcdefghij", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "abcdefg");
    // "abcdef" + U+00E9 (2 bytes) needs 9 with the terminator: the é goes whole.
    MIDICLNameBuffer::Copy("abcdef\xC3\xA9", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "abcdef");
    // A 4-byte character straddling the end is dropped whole.
    MIDICLNameBuffer::Copy("abcd\xF0\x9F\x8E\xB9z", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "abcd");
    MIDICLNameBuffer::Copy("ab\xC3\xA9", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "ab\xC3\xA9");
    MIDICLNameBuffer::Copy("anything", buffer, 1);
    EXPECT_STREQ(buffer, "");
}

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
    ExpectThrows([this] { mPort->SendNoteOn(0, 60, 100); }, MIDICLException::kMIDISend, -32);
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
    ExpectThrows([this] { mPort->SendSysEx(MakeSysEx(), 4); }, MIDICLException::kMIDISendSysEx, -5);
    EXPECT_TRUE(Heard().empty());
    // Idle again: a second request goes through.
    mPort->SendSysEx(MakeSysEx(), 4);
    EXPECT_EQ(Heard().size(), 1u);
}

}  // namespace
