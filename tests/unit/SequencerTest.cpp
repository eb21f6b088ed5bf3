#include "Harness.h"
#include "model/KRVEuclid.h"
#include "model/KRVEvent.h"

namespace {

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override { mSequencer.SetScale(1, 16); }
    void AddTracks(int inCount) {
        for (int i = 0; i < inCount; i++) {
            mSequencer.AddTrack(KRVTrack());
        }
    }
    KRVSequencer mSequencer;
};

TEST_F(SequencerTest, GridScaleAndLoop) {
    EXPECT_EQ(mSequencer.GetTicksPerStep(), 6);
    EXPECT_EQ(mSequencer.GetLoopStep(), 17);
    mSequencer.SetLoopStep(5);
    EXPECT_EQ(mSequencer.GetLoopStep(), 5);
    EXPECT_TRUE(mSequencer.SetScale(2, 16));  // resets the loop
    EXPECT_EQ(mSequencer.GetTicksPerStep(), 12);
    EXPECT_EQ(mSequencer.GetLoopStep(), 17);
    EXPECT_TRUE(mSequencer.SetScale(1, 10));  // 9 ticks a step, partial 11th step
    EXPECT_EQ(mSequencer.GetStepCount(), 10);
    EXPECT_EQ(mSequencer.GetLoopStep(), 12);  // the partial step plays

    // Refused scales change nothing: out of range, or more ticks than an int
    // holds. (The tracks transcript has steps of 1 tick and more played steps
    // than a track's 64 events.)
    for (auto [bars, steps] : {std::pair{1, 0}, {1, 65}, {0, 16}, {30000000, 16}}) {
        EXPECT_FALSE(mSequencer.SetScale(bars, steps)) << bars << " " << steps;
    }
    EXPECT_EQ(mSequencer.GetStepCount(), 10);
}

// One event of a step is v-soloed at a time; a track counts its h-solos.
TEST_F(SequencerTest, SolosMoveAndCount) {
    AddTracks(3);
    mSequencer.VSolo(1, 3);
    mSequencer.VSolo(3, 3);
    EXPECT_FALSE(mSequencer.GetEvent(1, 3).IsVSoloed());
    EXPECT_TRUE(mSequencer.GetEvent(3, 3).IsVSoloed());
    mSequencer.VUnSolo(3, 3);
    EXPECT_FALSE(mSequencer.IsStepVSoloed(3));
    mSequencer.VSolo(9, 4);  // no such track: nothing soloed, step not in solo mode
    EXPECT_FALSE(mSequencer.IsStepVSoloed(4));
    // Deleting the v-soloed track frees its step only.
    mSequencer.VSolo(2, 5);
    mSequencer.VSolo(1, 6);
    mSequencer.DeleteTrack(2);
    EXPECT_FALSE(mSequencer.IsStepVSoloed(5));
    EXPECT_TRUE(mSequencer.IsStepVSoloed(6));

    for (int step1 : {1, 1, 2, 64}) {
        mSequencer.HSolo(2, step1);
    }
    mSequencer.HUnSolo(2, 9);
    mSequencer.HUnSolo(2, 1);
    EXPECT_EQ(mSequencer.GetTrack(2).GetHSoloCount(), 2);
}

TEST_F(SequencerTest, TrackListKeepsTracksWhole) {
    AddTracks(2);
    mSequencer.AddTrack(KRVTrack(), 5);
    EXPECT_EQ(mSequencer.GetTrackCount(), 5);

    // Marks travel with their track when tracks before it come and go.
    mSequencer.SetNote(2, 4, 70);
    mSequencer.SelectEvent(2, 4);
    mSequencer.Mute(2, 5);
    mSequencer.HSolo(2, 6);
    mSequencer.MuteTrack(2);
    EXPECT_EQ(mSequencer.AddTrack(KRVTrack(), 0), 0);  // position 0 goes to the front
    const KRVTrack& moved = mSequencer.GetTrack(3);
    EXPECT_EQ(moved.GetEvent(4).GetNote(), 70);
    EXPECT_TRUE(moved.GetEvent(4).IsSelected() && moved.GetEvent(5).IsMuted() && moved.IsMuted());
    EXPECT_EQ(moved.GetHSoloCount(), 1);
    mSequencer.DeleteTrack(1);
    EXPECT_EQ(mSequencer.GetTrack(2).GetHSoloCount(), 1);
    mSequencer.DeleteTrack(0);
    mSequencer.DeleteTrack(6);
    EXPECT_EQ(mSequencer.GetTrackCount(), 5);

    // A copy takes the content and leaves the destination's marks; a copy
    // constructed is a fresh event.
    mSequencer.SelectEvent(1, 4);
    mSequencer.CopyTrack(2, 1);
    EXPECT_EQ(mSequencer.GetEvent(1, 4).GetNote(), 70);
    EXPECT_TRUE(mSequencer.GetEvent(1, 4).IsSelected());
    EXPECT_FALSE(mSequencer.GetEvent(1, 5).IsMuted());
    KRVEvent fresh(mSequencer.GetEvent(2, 4));
    EXPECT_EQ(fresh.GetNote(), 70);
    EXPECT_FALSE(fresh.IsSelected() || fresh.IsMuted());
}

// A name means the channel that has it now: one renamed or cleared no
// longer answers to it; of two channels called alike, the first by port
// and channel.
TEST_F(SequencerTest, ChannelNamesMeanTheChannelThatHasThemNow) {
    mSequencer.SetChannelName(0, 10, "drums");
    mSequencer.SetChannelName(1, 3, "perc");
    EXPECT_EQ(mSequencer.GetChannelName(0, 11), "");
    mSequencer.SetChannelName(0, 10, "perc");
    std::pair<int, int> at;
    EXPECT_FALSE(mSequencer.GetNamedChannel("drums", &at.first, &at.second));
    ASSERT_TRUE(mSequencer.GetNamedChannel("perc", &at.first, &at.second));
    EXPECT_EQ(at, std::pair(0, 10));
    mSequencer.SetChannelName(0, 10, "kit");
    ASSERT_TRUE(mSequencer.GetNamedChannel("perc", &at.first, &at.second));
    EXPECT_EQ(at, std::pair(1, 3));
    mSequencer.DeleteChannelNames();
    EXPECT_FALSE(mSequencer.GetNamedChannel("kit", &at.first, &at.second));
    EXPECT_EQ(mSequencer.GetChannelName(1, 3), "");
}

// The flats and sharps that cross into the next octave (Cb4, B#3 and the
// like) and the words that are no note are the notewords transcript's.
TEST(KRVEvent, NoteNamesFormatAndParse) {
    const std::pair<const char*, int> kNames[] = {{"c4", 60}, {"C#4", 61},  {"a#-1", 10}, {"C", 12},
                                                  {"H3", 0},  {"G#9", 128}, {"C-2", -12}, {"", 0}};
    for (const auto& [name, note] : kNames) {
        EXPECT_EQ(KRVEvent::ParseNoteNumber(name), note) << name;
    }
    // Octaves are held to +-1000, so no octave wraps round into the note
    // range (2^32 + 5 would read as octave 5).
    EXPECT_EQ(KRVEvent::ParseNoteNumber("C4294967301"), 12012);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("B-4294967291"), -11977);
    EXPECT_EQ(KRVEvent::FormatNoteNumber(1), "C#-1");
    EXPECT_EQ(KRVEvent::FormatNoteNumber(255), "D#20");
    EXPECT_TRUE(KRVEvent::IsNoteName("g"));
    for (const char* notName : {"", "#3", "?"}) {
        EXPECT_FALSE(KRVEvent::IsNoteName(notName)) << notName;
    }
    for (int note = 0; note < 128; note++) {
        EXPECT_EQ(KRVEvent::ParseNoteNumber(KRVEvent::FormatNoteNumber(note)), note);
    }
}

// Every count of hits over every loop length: that many hits, spread so
// that the gaps between them (round the loop) differ by at most one step;
// a rotation moves each hit that many steps later. Two rhythms known from
// Bjorklund's grouping pin its order, which even spreading alone does not.
TEST(KRVEuclid, HitsSpreadEvenlyAndRotate) {
    const auto text = [](std::uint64_t inBits, int inSteps) {
        std::string rhythm;
        for (int step0 = 0; step0 < inSteps; step0++) {
            rhythm += (inBits >> step0 & 1u) != 0 ? 'x' : '.';
        }
        return rhythm;
    };
    EXPECT_EQ(text(KRVEuclid(3, 8, 0), 8), "x..x..x.");
    EXPECT_EQ(text(KRVEuclid(5, 8, 0), 8), "x.xx.xx.");
    EXPECT_EQ(text(KRVEuclid(3, 8, 1), 8), ".x..x..x");
    EXPECT_EQ(text(KRVEuclid(3, 8, -1), 8), "..x..x.x");
    for (int steps = 1; steps <= 64; steps++) {
        for (int hits = 0; hits <= steps; hits++) {
            const std::uint64_t bits = KRVEuclid(hits, steps, 0);
            ASSERT_EQ(std::popcount(bits), hits) << hits << " over " << steps;
            std::vector<int> at;
            for (int step0 = 0; step0 < steps; step0++) {
                if ((bits >> step0 & 1u) != 0) {
                    at.push_back(step0);
                }
            }
            std::vector<int> gaps;
            for (std::size_t index = 0; index < at.size(); index++) {
                gaps.push_back((at[(index + 1) % at.size()] - at[index] + steps - 1) % steps + 1);
            }
            if (!gaps.empty()) {
                const auto [fewest, most] = std::minmax_element(gaps.begin(), gaps.end());
                EXPECT_LE(*most - *fewest, 1) << text(bits, steps);
            }
            const int rotation = hits % 5 + 1;
            const std::uint64_t rotated = KRVEuclid(hits, steps, rotation);
            for (int step0 = 0; step0 < steps; step0++) {
                EXPECT_EQ(rotated >> ((step0 + rotation) % steps) & 1u, bits >> step0 & 1u)
                    << text(bits, steps) << " by " << rotation;
            }
        }
    }
}

}  // namespace
