#ifdef MIDICL_HAVE_ALSA

#include "MIDICLRecorder.h"
#include "hosts/alsa/MIDICLAlsaCodec.h"

namespace {

Bytes RoundTrip(const Bytes& inMessage, snd_seq_event_type_t& outType) {
    snd_seq_event_t event;
    EXPECT_EQ(MIDICLAlsaCodec::Encode(inMessage.data(), inMessage.size(), event), inMessage.size());
    outType = static_cast<snd_seq_event_type_t>(event.type);
    std::uint8_t decoded[3] = {};
    return Bytes(decoded, decoded + MIDICLAlsaCodec::Decode(event, decoded, sizeof decoded));
}

TEST(MIDICLAlsaCodecTest, MessagesBecomeTheirEventsAndBack) {
    const struct {
        Bytes mMessage;
        snd_seq_event_type_t mType;
    } cases[] = {
        {{0x90, 60, 100}, SND_SEQ_EVENT_NOTEON},
        {{0x8F, 60, 0}, SND_SEQ_EVENT_NOTEOFF},
        {{0xA3, 61, 20}, SND_SEQ_EVENT_KEYPRESS},
        {{0xB4, 7, 127}, SND_SEQ_EVENT_CONTROLLER},
        {{0xC9, 5}, SND_SEQ_EVENT_PGMCHANGE},
        {{0xD1, 64}, SND_SEQ_EVENT_CHANPRESS},
        {{0xE2, 0x00, 0x40}, SND_SEQ_EVENT_PITCHBEND},
        {{0xE0, 0x7F, 0x7F}, SND_SEQ_EVENT_PITCHBEND},
        {{0xF2, 0x05, 0x03}, SND_SEQ_EVENT_SONGPOS},
        {{0xF3, 9}, SND_SEQ_EVENT_SONGSEL},
        {{0xF8}, SND_SEQ_EVENT_CLOCK},
        {{0xFA}, SND_SEQ_EVENT_START},
        {{0xFB}, SND_SEQ_EVENT_CONTINUE},
        {{0xFC}, SND_SEQ_EVENT_STOP},
        {{0xFE}, SND_SEQ_EVENT_SENSING},
        {{0xFF}, SND_SEQ_EVENT_RESET},
    };
    for (const auto& c : cases) {
        snd_seq_event_type_t type;
        EXPECT_EQ(RoundTrip(c.mMessage, type), c.mMessage) << int(c.mMessage[0]);
        EXPECT_EQ(type, c.mType) << int(c.mMessage[0]);
    }
}

// The round trip cannot tell alsa-lib's signed bend from an unsigned one.
TEST(MIDICLAlsaCodecTest, PitchBendCentreIsZero) {
    snd_seq_event_t event;
    const std::uint8_t centre[] = {0xE2, 0x00, 0x40};
    MIDICLAlsaCodec::Encode(centre, sizeof centre, event);
    EXPECT_EQ(std::tuple(event.data.control.channel, event.data.control.value), std::tuple(2, 0));
}

TEST(MIDICLAlsaCodecTest, PacketsSplitIntoMessagesAndBadBytesAreRefused) {
    const std::uint8_t packet[] = {0x90, 60, 100, 0xF0, 1, 2, 0xF7, 0xF8};
    snd_seq_event_t event;
    EXPECT_EQ(MIDICLAlsaCodec::Encode(packet, sizeof packet, event), 3u);
    ASSERT_EQ(MIDICLAlsaCodec::Encode(packet + 3, sizeof packet - 3, event), 4u);
    EXPECT_EQ(event.type, SND_SEQ_EVENT_SYSEX);
    EXPECT_EQ(event.data.ext.len, 4u);
    EXPECT_EQ(event.data.ext.ptr, packet + 3);
    EXPECT_EQ(MIDICLAlsaCodec::Encode(packet + 7, 1, event), 1u);

    const std::uint8_t running[] = {60, 100};
    EXPECT_EQ(MIDICLAlsaCodec::Encode(running, sizeof running, event), 0u);
    EXPECT_EQ(MIDICLAlsaCodec::Encode(packet, 2, event), 0u);
    EXPECT_EQ(MIDICLAlsaCodec::Encode(packet, 0, event), 0u);
}

TEST(MIDICLAlsaCodecTest, AddressesSplitBackAndOthersAreRefused) {
    for (const auto& [client, port] : {std::pair{0, 0}, {128, 3}}) {
        std::pair<int, int> split{-1, -1};
        EXPECT_TRUE(MIDICLAlsaCodec::MakeEndpoint(client, port).IsValid());
        ASSERT_TRUE(MIDICLAlsaCodec::SplitEndpoint(MIDICLAlsaCodec::MakeEndpoint(client, port),
                                                   split.first, split.second));
        EXPECT_EQ(split, std::pair(client, port));
    }
    int client = -1;
    int port = -1;
    EXPECT_FALSE(MIDICLAlsaCodec::SplitEndpoint(MIDICLEndpointRef{}, client, port));
    EXPECT_FALSE(MIDICLAlsaCodec::SplitEndpoint(MIDICLEndpointRef{42}, client, port));
}

}  // namespace

#endif
