// The parts the hosts are built of: destination order, the note-offs a
// full port holds, the note-offs a late JACK cycle repeats, and what a stop
// withdraws.

#include "MIDICLRecorder.h"
#include "hosts/MIDICLHeldNoteOffs.h"
#include "hosts/MIDICLPassThrough.h"
#include "hosts/MIDICLRepeatedNoteOffs.h"
#include "hosts/MIDICLWithdrawal.h"
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
// Ports in the groups their ranks put them in, first to last: synthesizers,
// applications, devices (and ports that say nothing), pass-through ports.
TEST(MIDICLDestinationOrderTest, AlsaPortsRankSynthesizersFirstAndPassThroughLast) {
    constexpr unsigned kMidi = SND_SEQ_PORT_TYPE_MIDI_GENERIC;
    constexpr unsigned kForwards = kMidi | SND_SEQ_PORT_TYPE_SOFTWARE | SND_SEQ_PORT_TYPE_PORT;
    const std::tuple<int, const char*, unsigned> kPorts[] = {
        {0, "FLUID Synth", kMidi | SND_SEQ_PORT_TYPE_SYNTHESIZER | SND_SEQ_PORT_TYPE_APPLICATION},
        {0, "wavetable", kForwards | SND_SEQ_PORT_TYPE_SYNTH},
        {1, "aseqdump", kMidi | SND_SEQ_PORT_TYPE_APPLICATION},
        {2, "UM-ONE", kMidi | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT},
        {2, "old app", kMidi},
        {2, nullptr, 0},
        {3, "Midi Through", kForwards},
        {3, "Midi Through", kMidi | SND_SEQ_PORT_TYPE_APPLICATION},
        {3, "forwarder", kForwards}};
    for (const auto& [group, name, type] : kPorts) {
        for (const auto& [otherGroup, otherName, otherType] : kPorts) {
            const int rank = MIDICLAlsaPortRank::Rank(name, type);
            const int other = MIDICLAlsaPortRank::Rank(otherName, otherType);
            EXPECT_EQ(rank < other, group < otherGroup) << (name != nullptr ? name : "(no name)");
            EXPECT_EQ(rank == other, group == otherGroup) << (name != nullptr ? name : "(no name)");
        }
    }
}
#endif

using Held = MIDICLHeldNoteOffs;

// However many notes sound, each one's note-off finds room; a note-on that
// would take the last place is refused instead.
TEST(MIDICLHeldNoteOffsTest, EverySoundingNoteKeepsRoomForItsNoteOff) {
    Held held;
    for (std::size_t i = 0; i < Held::kCapacity; ++i) {
        ASSERT_TRUE(held.HasRoomForNoteOn());
        held.StartSounding();
    }
    EXPECT_FALSE(held.HasRoomForNoteOn());
    const std::uint8_t noteOff[] = {0x80, 60, 0};
    for (std::size_t i = 0; i < Held::kCapacity; ++i) {
        held.EndSounding();
        ASSERT_TRUE(held.Hold(noteOff));
    }
    EXPECT_EQ(held.GetCount(), Held::kCapacity);
    // A note-off of no note we sent has no place kept for it.
    EXPECT_FALSE(held.Hold(noteOff));
    EXPECT_FALSE(held.HasRoomForNoteOn());
    held.PopFront();
    EXPECT_TRUE(held.HasRoomForNoteOn());
}

TEST(MIDICLHeldNoteOffsTest, NoteOffsComeBackInTheOrderHeldAcrossTheWrap) {
    Held held;
    for (std::size_t i = 0; i < Held::kCapacity - 2; ++i) {
        const std::uint8_t noteOff[] = {0x80, 1, 0};
        ASSERT_TRUE(held.Hold(noteOff));
        held.PopFront();
    }
    Bytes keys;
    for (std::uint8_t key = 0; key < 5; ++key) {
        const std::uint8_t noteOff[] = {0x8F, key, 0};
        ASSERT_TRUE(held.Hold(noteOff));
    }
    for (; !held.IsEmpty(); held.PopFront()) {
        keys.push_back(held.Front()[1]);
    }
    EXPECT_EQ(keys, (Bytes{0, 1, 2, 3, 4}));
}

// Four cycles make up the settling time after a stall.
constexpr double kPeriodUsecs = MIDICLRepeatedNoteOffs::kSettleUsecs / 4;

// What a cycle writes again at its start, as keys ("60 64").
std::string Repeated(MIDICLRepeatedNoteOffs& ioRepeats, bool inRegular) {
    std::string keys;
    std::uint8_t noteOff[3];
    if (!ioRepeats.BeginCycle(inRegular, kPeriodUsecs)) {
        return keys;
    }
    for (std::size_t key = 0; ioRepeats.Get(key, noteOff); ++key) {
        EXPECT_EQ(noteOff[0] & 0xF0, 0x80);
        keys += (keys.empty() ? "" : " ") + std::to_string(noteOff[1]);
    }
    return keys;
}

// A note-off is written again until its cycle and the next both follow on;
// a later note-on of its key ends its repeats.
TEST(MIDICLRepeatedNoteOffsTest, RepeatsNoteOffsAroundIrregularCycles) {
    struct Cycle {
        bool mRegular;
        std::string mRepeated;
        std::vector<Bytes> mWritten;
    };
    const std::vector<std::vector<Cycle>> runs = {
        // Steady cycles: nothing is repeated.
        {{true, "", {{0x80, 60, 0}}}, {true, "", {}}, {true, "", {}}},
        // A stall before the cycle that wrote it, then steady.
        {{false, "", {{0x80, 60, 0}, {0x90, 64, 0}}}, {true, "60 64", {}}, {true, "", {}}},
        // The cycle after it skipped, a stall: repeated until the server
        // has settled too, not just for two steady cycles.
        {{true, "", {{0x80, 60, 0}}},
         {false, "60", {}},
         {true, "60", {}},
         {true, "60", {}},
         {true, "60", {}},
         {true, "", {}}},
        // A note-on of the same key after it: no repeat ends the new note.
        {{false, "", {{0x80, 60, 0}, {0x80, 62, 0}, {0x90, 60, 100}}}, {true, "62", {}}},
    };
    for (const auto& run : runs) {
        MIDICLRepeatedNoteOffs repeats;
        for (const Cycle& cycle : run) {
            EXPECT_EQ(Repeated(repeats, cycle.mRegular), cycle.mRepeated);
            for (const Bytes& message : cycle.mWritten) {
                repeats.Written(message.data(), message.size());
            }
        }
    }
    // A server that never steadies is given up on.
    MIDICLRepeatedNoteOffs repeats;
    const std::uint8_t noteOff[] = {0x80, 60, 0};
    repeats.Written(noteOff, 3);
    for (int i = 0; i < MIDICLRepeatedNoteOffs::kMaxRepeats; ++i) {
        EXPECT_EQ(Repeated(repeats, false), "60");
    }
    EXPECT_EQ(Repeated(repeats, false), "");
}

// Before a stop everything goes as stamped. After it, a pending note-on is
// withdrawn together with exactly one later note-off of its key (either
// spelling), a timing clock is withdrawn, and everything else goes at the
// stop.
TEST(MIDICLWithdrawalTest, StopWithdrawsPendingNoteOnsWithTheirNoteOffsOnly) {
    struct Case {
        Bytes mMessage;
        MIDICLTimeStamp mStop, mStamp;
        bool mPasses;
        MIDICLTimeStamp mSentAt;
    };
    const Case kCases[] = {{{0x90, 60, 100}, 0, 500, true, 500},
                           {{0x90, 60, 100}, 1000, 1200, false, 1200},
                           {{0x90, 60, 100}, 1000, 1100, false, 1100},
                           {{0x80, 60, 0}, 1000, 1300, false, 1300},
                           {{0x90, 60, 0}, 1000, 1300, false, 1300},
                           // Both withdrawn note-ons have had their note-off: the next one
                           // ends a note that sounds, at the stop.
                           {{0x80, 60, 0}, 1000, 1400, true, 1000},
                           // A note-on on another channel is another key.
                           {{0x91, 60, 100}, 1000, 1500, false, 1500},
                           {{0x80, 60, 0}, 1000, 1500, true, 1000},
                           {{0xC0, 5}, 1000, 1600, true, 1000},
                           // No tick after the stop; its transport goes at the stop.
                           {{0xF8}, 0, 1600, true, 1600},
                           {{0xF8}, 1000, 1600, false, 1600},
                           {{0xFC}, 1000, 1600, true, 1000},
                           // Playing on after the cut: the withdrawn note-on's note-off goes
                           // with it, and a later stop's note-off of a sounding note is not
                           // taken for it.
                           {{0x81, 60, 0}, 0, 1700, false, 1700},
                           {{0x91, 60, 100}, 0, 1700, true, 1700},
                           {{0x81, 60, 0}, 2000, 1700, true, 2000}};
    MIDICLWithdrawal withdrawal;
    for (const Case& c : kCases) {
        MIDICLTimeStamp stamp = c.mStamp;
        EXPECT_EQ(withdrawal.Pass(c.mMessage.data(), c.mMessage.size(), c.mStop, stamp), c.mPasses)
            << c.mStamp;
        if (c.mPasses) {
            EXPECT_EQ(stamp, c.mSentAt) << c.mStamp;
        }
    }
}

}  // namespace
