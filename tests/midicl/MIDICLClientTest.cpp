#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLException.h"
#include "MIDICLInputPort.h"
#include "MIDICLNameBuffer.h"
#include "MIDICLOutputPort.h"
#include "MIDICLRecorder.h"
#include "hosts/builtin/MIDICLBuiltinHost.h"

namespace {

class MIDICLClientTest : public ::testing::Test {
protected:
    void TearDown() override { MIDICLBuiltinHost::ResetTestConfig(); }

    static MIDICLBuiltinTestConfig Failing(int inCall, std::int32_t inStatus) {
        MIDICLBuiltinTestConfig config;
        config.mFailingCall = inCall;
        config.mFailStatus = inStatus;
        return config;
    }

    template <typename Make>
    static void ExpectThrows(Make inMake, MIDICLException::MIDICLCallNumber inCall,
                             std::int32_t inStatus) {
        try {
            inMake();
            FAIL() << "expected call " << inCall << " to fail";
        } catch (const MIDICLException& e) {
            EXPECT_EQ(e.GetCallNumber(), inCall);
            EXPECT_EQ(e.GetErrCode(), inStatus);
        }
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

}  // namespace
