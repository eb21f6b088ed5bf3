#include <gtest/gtest.h>

#include <vector>

#include "hosts/MIDICLPassThrough.h"
#ifdef MIDICL_HAVE_ALSA
#include <alsa/asoundlib.h>

#include "hosts/alsa/MIDICLAlsaPortRank.h"
#endif

namespace {

TEST(MIDICLDestinationOrderTest, PassThroughNamesGoLastBothInTheHostsOrder) {
    const std::vector<const char*> names = {
        "a2j:Midi Through [14] (playback): Midi Through Port-0", "fluidsynth:midi_00",
        "Midi-Bridge:MIDI THROUGH:(playback_0) Midi Through Port-0", "krv-recorder:in"};
    const auto nameAt = [&names](int inIndex) { return names[inIndex]; };
    std::vector<int> order;
    for (int i = -1; i <= 4; ++i) {
        order.push_back(MIDICLPassThrough::ToHostIndex(4, i, nameAt));
    }
    EXPECT_EQ(order, (std::vector<int>{-1, 1, 3, 0, 2, -1}));
    EXPECT_FALSE(MIDICLPassThrough::IsPassThroughName(nullptr));
    EXPECT_FALSE(MIDICLPassThrough::IsPassThroughName("Throug"));
    EXPECT_TRUE(MIDICLPassThrough::IsPassThroughName("through"));
}

#ifdef MIDICL_HAVE_ALSA
TEST(MIDICLDestinationOrderTest, AlsaPortsRankSynthesizersFirstAndPassThroughLast) {
    using Rank = MIDICLAlsaPortRank;
    constexpr unsigned kMidi = SND_SEQ_PORT_TYPE_MIDI_GENERIC;
    constexpr unsigned kForwards = kMidi | SND_SEQ_PORT_TYPE_SOFTWARE | SND_SEQ_PORT_TYPE_PORT;
    EXPECT_EQ(Rank::Rank("Midi Through", kForwards), Rank::kPassThrough);
    EXPECT_EQ(Rank::Rank("Midi Through", kMidi | SND_SEQ_PORT_TYPE_APPLICATION),
              Rank::kPassThrough);
    EXPECT_EQ(Rank::Rank("forwarder", kForwards), Rank::kPassThrough);
    EXPECT_EQ(Rank::Rank("FLUID Synth (4242)",
                         kMidi | SND_SEQ_PORT_TYPE_SYNTHESIZER | SND_SEQ_PORT_TYPE_APPLICATION),
              Rank::kSynthesizer);
    EXPECT_EQ(Rank::Rank("wavetable", kMidi | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_SOFTWARE |
                                          SND_SEQ_PORT_TYPE_PORT),
              Rank::kSynthesizer);
    EXPECT_EQ(Rank::Rank("aseqdump", kMidi | SND_SEQ_PORT_TYPE_APPLICATION), Rank::kApplication);
    EXPECT_EQ(Rank::Rank("UM-ONE", kMidi | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT),
              Rank::kDevice);
    EXPECT_EQ(Rank::Rank("old app", kMidi), Rank::kDevice);
    EXPECT_EQ(Rank::Rank(nullptr, 0), Rank::kDevice);
}

TEST(MIDICLDestinationOrderTest, AlsaDestinationsAreWritableSubscribableAndExported) {
    constexpr unsigned kWrite = SND_SEQ_PORT_CAP_WRITE;
    constexpr unsigned kSubscribe = SND_SEQ_PORT_CAP_SUBS_WRITE;
    EXPECT_TRUE(MIDICLAlsaPortRank::IsDestination(kWrite | kSubscribe));
    EXPECT_TRUE(MIDICLAlsaPortRank::IsDestination(kWrite | kSubscribe | SND_SEQ_PORT_CAP_READ |
                                                  SND_SEQ_PORT_CAP_SUBS_READ));
    EXPECT_FALSE(
        MIDICLAlsaPortRank::IsDestination(kWrite | kSubscribe | SND_SEQ_PORT_CAP_NO_EXPORT));
    EXPECT_FALSE(MIDICLAlsaPortRank::IsDestination(kWrite));
    EXPECT_FALSE(MIDICLAlsaPortRank::IsDestination(kSubscribe));
    EXPECT_FALSE(
        MIDICLAlsaPortRank::IsDestination(SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ));
}
#endif

}  // namespace
