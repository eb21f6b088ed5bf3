#include "MIDICLInputPort.h"
#include "MIDICLNameBuffer.h"
#include "MIDICLRecorder.h"
#include "hosts/builtin/MIDICLBuiltinHost.h"

namespace {

// inMake throws the failure of call inCall with inStatus (any status below
// zero when inStatus is 0).
void ExpectThrows(const std::function<void()>& inMake, int inCall, std::int32_t inStatus) {
    try {
        inMake();
        ADD_FAILURE() << "expected call " << inCall << " to fail";
    } catch (const MIDICLException& e) {
        EXPECT_EQ(e.GetCallNumber(), inCall);
        EXPECT_TRUE(inStatus == 0 ? e.GetErrCode() < 0 : e.GetErrCode() == inStatus)
            << e.GetErrCode();
    }
}

void Configure(int inCall, std::int32_t inStatus, int inDestinations = 0, int inFailures = 1,
               bool inDefer = false) {
    MIDICLBuiltinHost::SetTestConfig({inDestinations, inCall, inStatus, inFailures, inDefer});
}

// A port on the built-in host aimed at a virtual destination that records.
class MIDICLClientTest : public ::testing::Test {
protected:
    void SetUp() override { Open(0, 0, 1); }
    void TearDown() override { MIDICLBuiltinHost::ResetTestConfig(); }

    void Open(int inCall, std::int32_t inStatus, int inFailures, bool inDefer = false) {
        Configure(inCall, inStatus, 0, inFailures, inDefer);
        mPort.reset();
        mDestination.reset();
        mClient = std::make_unique<MIDICLClient>("test", "none");
        mDestination.reset(mClient->MakeDestination("sink"));
        mDestination->SetListener(&mRecorder);
        mPort.reset(mClient->MakeOutputPort("output"));
        mPort->SetDestination(mDestination->GetEndpoint());
        mRecorder.Take();
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

TEST(MIDICLHostChoice, HostChoiceIsForcedOrRefused) {
    EXPECT_STREQ(MIDICLClient("test", "none").GetHostName(), "none");
    ExpectThrows([] { MIDICLClient("test", "coremidi"); }, MIDICLException::kMIDIClientCreate,
                 -EINVAL);
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
#ifdef MIDICL_HAVE_ALSA
    // Forced, a host without its device fails instead of falling back.
    if (::access("/dev/snd/seq", F_OK) != 0) {
        ExpectThrows([] { MIDICLClient("test", "alsa"); }, MIDICLException::kMIDIClientCreate, 0);
    }
#endif
}

// Each failing creation throws its call and status; the leak checker of the
// sanitizer build sees whether it left its half-made object behind.
TEST_F(MIDICLClientTest, EachFailingCreationThrowsItsCallAndStatus) {
    using E = MIDICLException;
    const std::pair<int, std::function<void(MIDICLClient&)>> kCalls[] = {
        {E::kMIDIOutputPortCreate, [](MIDICLClient& c) { delete c.MakeOutputPort("out"); }},
        {E::kMIDIDestinationCreate, [](MIDICLClient& c) { delete c.MakeDestination("d"); }},
        {E::kMIDIInputPortCreate, [](MIDICLClient& c) { delete c.MakeInputPort("in"); }}};
    for (const auto& [call, make] : kCalls) {
        Configure(call, -12 - call);
        MIDICLClient client("test", "none");
        ExpectThrows([&] { make(client); }, call, -12 - call);
        EXPECT_EQ(client.GetNumberOfDestinations(), 0);
        EXPECT_NO_THROW(make(client));  // the next try is made afresh
    }
    Configure(E::kMIDIClientCreate, -19);
    ExpectThrows([] { MIDICLClient("test", "none"); }, E::kMIDIClientCreate, -19);
}

TEST_F(MIDICLClientTest, DestinationsKeepHostOrderAndVanishedOnesAreReported) {
    Configure(0, 0, 2);
    MIDICLClient client("test", "none");
    auto* extra = client.MakeDestination("KRVShell dummy destination");
    ASSERT_EQ(client.GetNumberOfDestinations(), 3);
    char name[MIDICLClient::kNameBufferSize];
    EXPECT_TRUE(client.GetDestinationName(1, name));
    EXPECT_STREQ(name, "test destination 2");
    EXPECT_EQ(client.GetDestination(2), extra->GetEndpoint());

    MIDICLRecorder recorder;
    extra->SetListener(&recorder);
    std::unique_ptr<MIDICLOutputPort> port(client.MakeOutputPort("output"));
    port->SetDestination(2);
    EXPECT_TRUE(port->GetDestinationName(name, sizeof name));
    EXPECT_STREQ(name, "KRVShell dummy destination");
    port->SendNoteOn(0, 60, 100);
    EXPECT_EQ(recorder.Take().size(), 1u);
    // Heard only while a listener is set.
    extra->SetListener(nullptr);
    port->SendNoteOn(0, 60, 100);
    EXPECT_TRUE(recorder.Take().empty());

    const MIDICLEndpointRef gone = extra->GetEndpoint();
    delete extra;
    EXPECT_FALSE(port->GetDestinationName(name, sizeof name));
    EXPECT_EQ(client.GetNumberOfDestinations(), 2);
    EXPECT_FALSE(client.GetDestinationName(2, name));
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(client.GetEndpointName(gone, name));
    EXPECT_FALSE(client.GetDestinationName(-1, name));
}

TEST(MIDICLNameBufferTest, TruncatesAtCharacterBoundaryAndTerminates) {
    const std::pair<const char*, const char*> kCases[] = {
        {"abc", "abc"},
        {"abcdefghij", "abcdefg"},
        // U+00E9 needs two bytes, and then there is no room for the end.
        {"abcdef\xC3\xA9", "abcdef"},
        {"abcd\xF0\x9F\x8E\xB9z", "abcd"},
        {"ab\xC3\xA9", "ab\xC3\xA9"}};
    for (const auto& [from, to] : kCases) {
        char buffer[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
        MIDICLNameBuffer::Copy(from, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, to);
    }
    char buffer[1] = {'x'};
    MIDICLNameBuffer::Copy("anything", buffer, 1);
    EXPECT_STREQ(buffer, "");
}

// Also once the client is gone: objects outlive it, as at shut-down.
TEST_F(MIDICLClientTest, TimeStampsAndPacketsReachTheDestinationUnchanged) {
    mPort->SendNoteOn(0, 60, 100);
    mPort->SendNoteOff(0, 60, 0, 123456789);
    mPort->SendClock(42);
    MIDICLPacketList list;
    const std::uint8_t first[] = {0x90, 1, 2, 0x80, 1, 0};
    const std::uint8_t second[] = {0xFA};
    ASSERT_TRUE(list.Add(7, first, sizeof first));
    ASSERT_TRUE(list.Add(9, second, sizeof second));
    mPort->SendPacketList(&list);
    std::vector<std::pair<std::uint64_t, Bytes>> heard;
    for (const auto& packet : mRecorder.Take()) {
        heard.emplace_back(packet.mTimeStamp, packet.mBytes);
    }
    EXPECT_EQ(heard, (std::vector<std::pair<std::uint64_t, Bytes>>{{0, {0x90, 60, 100}},
                                                                   {123456789, {0x80, 60, 0}},
                                                                   {42, {0xF8}},
                                                                   {7, {0x90, 1, 2, 0x80, 1, 0}},
                                                                   {9, {0xFA}}}));
    mClient.reset();
    mPort->SendNoteOff(0, 1, 0);
    EXPECT_EQ(Heard(), (std::vector<Bytes>{{0x80, 1, 0}}));
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
TEST_F(MIDICLClientTest, RefusedSendThrowsOrReturnsHostStatusAndNextSendIsTried) {
    Open(MIDICLException::kMIDISend, -32, 2);
    ExpectThrows([this] { mPort->SendNoteOn(0, 60, 100); }, MIDICLException::kMIDISend, -32);
    EXPECT_EQ(mPort->TrySendNoteOn(0, 60, 100), -32);
    EXPECT_TRUE(Heard().empty());
    EXPECT_EQ(mPort->TrySendNoteOn(1, 61, 90, 77), 0);
    EXPECT_EQ(mPort->TrySendNoteOff(2, 61, 0), 0);
    mPort->SendNoteOff(0, 60, 0);
    EXPECT_EQ(Heard(), (std::vector<Bytes>{{0x91, 61, 90}, {0x82, 61, 0}, {0x80, 60, 0}}));
}

std::uint8_t* MakeSysEx() {
    return new std::uint8_t[4]{0xF0, 0x7D, 0x01, 0xF7};
}

// A system-exclusive buffer is the port's until the host is done with it;
// the leak checker of the sanitizer build tells whether it is released.
TEST_F(MIDICLClientTest, SysExIsDeliveredWholeAndItsBufferReleased) {
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

    Open(0, 0, 1, true);
    mPort->SendSysEx(MakeSysEx(), 4);
    EXPECT_EQ(MIDICLBuiltinHost::CompletePendingSysEx(), 1);
    EXPECT_EQ(MIDICLBuiltinHost::CompletePendingSysEx(), 0);

    // Refused, the buffer is released before the throw; idle again, a second
    // request goes through.
    Open(MIDICLException::kMIDISendSysEx, -5, 1);
    ExpectThrows([this] { mPort->SendSysEx(MakeSysEx(), 4); }, MIDICLException::kMIDISendSysEx, -5);
    EXPECT_TRUE(Heard().empty());
    mPort->SendSysEx(MakeSysEx(), 4);
    EXPECT_EQ(Heard().size(), 1u);
}

}  // namespace
