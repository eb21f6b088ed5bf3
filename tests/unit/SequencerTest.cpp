#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "MIDICLClient.h"
#include "model/KRVSequencer.h"
#include "model/KRVSequencerListener.h"

namespace {

// Records the notifications as text, e.g. "EventChanged 2 5".
class RecordingListener : public KRVSequencerListener {
public:
    std::vector<std::string> mHeard;
    void BPMChanged(KRVSequencer*) override { mHeard.push_back("BPMChanged"); }
    void ClockReset(KRVSequencer*) override { mHeard.push_back("ClockReset"); }
    void ConfigChanged(KRVSequencer*) override { mHeard.push_back("ConfigChanged"); }
    void EventChanged(KRVSequencer*, int inTrack1, int inStep1) override {
        mHeard.push_back("EventChanged " + std::to_string(inTrack1) + " " +
                         std::to_string(inStep1));
    }
    void LoopChanged(KRVSequencer*) override { mHeard.push_back("LoopChanged"); }
    void PortListChanged(KRVSequencer*) override { mHeard.push_back("PortListChanged"); }
    void ScaleChanged(KRVSequencer*) override { mHeard.push_back("ScaleChanged"); }
    void Start(KRVSequencer*) override { mHeard.push_back("Start"); }
    void Stop(KRVSequencer*) override { mHeard.push_back("Stop"); }
    void TrackChanged(KRVSequencer*, int inTrack1) override {
        mHeard.push_back("TrackChanged " + std::to_string(inTrack1));
    }
    void TrackAdded(KRVSequencer*, int inTrack1) override {
        mHeard.push_back("TrackAdded " + std::to_string(inTrack1));
    }
    void TrackDeleted(KRVSequencer*, int inTrack1) override {
        mHeard.push_back("TrackDeleted " + std::to_string(inTrack1));
    }
    std::vector<std::string> Take() { return std::exchange(mHeard, {}); }
};

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

using Heard = std::vector<std::string>;

TEST_F(SequencerTest, GridScaleAndLoop) {
    EXPECT_EQ(mSequencer.GetStepCount(), 16);
    EXPECT_EQ(mSequencer.GetBarCount(), 1);
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

    // Refused scales change nothing: out of range, steps of 1 tick, more
    // played steps than a track's 64 events.
    for (auto [bars, steps] :
         {std::pair{1, 0}, {1, 65}, {0, 16}, {1, 64}, {1, 49}, {3, 64}, {67, 64}, {30000000, 16}}) {
        EXPECT_FALSE(mSequencer.SetScale(bars, steps)) << bars << " " << steps;
    }
    EXPECT_EQ(mSequencer.GetStepCount(), 10);
    EXPECT_TRUE(mSequencer.SetScale(1, 48));  // 2 ticks a step is the shortest
    EXPECT_TRUE(mSequencer.SetScale(4, 64));

    mSequencer.SetLoopStep(66);
    EXPECT_EQ(mSequencer.GetLoopStep(), 65);
    mSequencer.SetLoopStep(1);
    EXPECT_EQ(mSequencer.GetLoopStep(), 1);
}

TEST_F(SequencerTest, TempoGivesPeriodAndRefusesUnusableValues) {
    EXPECT_TRUE(mSequencer.SetBPM(120));
    EXPECT_EQ(mSequencer.GetTimerPeriodUS(), 20833u);
    EXPECT_TRUE(mSequencer.SetBPM(90));
    EXPECT_EQ(mSequencer.GetTimerPeriodUS(), 27778u);
    EXPECT_TRUE(mSequencer.SetBPM(25000));  // 100 microseconds, the fastest clock
    EXPECT_TRUE(mSequencer.SetBPM(90));
    // 25,000 exactly is the limit, though the rounded period would allow more.
    for (double bad : {0.0, -5.0, 25000.001, 25100.0, 26000.0, 1e300, 1.0 / 0.0, 0.0 / 0.0}) {
        EXPECT_FALSE(mSequencer.SetBPM(bad)) << bad;
    }
    EXPECT_EQ(mSequencer.GetBPM(), 90.0);
}

// Each selecting call answers how many events it marked or unmarked, and
// nothing beyond the grid counts.
TEST_F(SequencerTest, SelectionCounts) {
    AddTracks(4);
    KRVSequencer& s = mSequencer;
    const std::pair<int, int> kCases[] = {
        {s.SelectStep(3), 4},       {s.SelectStep(0), 0},       {s.SelectStep(17), 0},
        {s.SelectTrack(2), 16},     {s.SelectTrack(5), 0},      {s.SelectEvent(4, 17), 0},
        {s.GetSelectedCount(), 19}, {s.UnSelectTrack(2), 16},   {s.UnSelectStep(3), 4},
        {s.SelectAll(), 64},        {s.UnSelectEvent(1, 1), 1}, {s.GetSelectedCount(), 63},
        {s.SetScale(1, 8), 1},      {s.GetSelectedCount(), 31}};
    for (std::size_t i = 0; i < std::size(kCases); i++) {
        EXPECT_EQ(kCases[i].first, kCases[i].second) << "call " << i;
    }
}

TEST_F(SequencerTest, SolosMoveAndCount) {
    AddTracks(3);
    mSequencer.VSolo(1, 3);
    EXPECT_TRUE(mSequencer.IsStepVSoloed(3));
    mSequencer.VSolo(3, 3);
    EXPECT_FALSE(mSequencer.GetEvent(1, 3).IsVSoloed());
    EXPECT_TRUE(mSequencer.GetEvent(3, 3).IsVSoloed());
    mSequencer.VUnSolo(3, 3);
    EXPECT_FALSE(mSequencer.GetEvent(3, 3).IsVSoloed());
    EXPECT_FALSE(mSequencer.IsStepVSoloed(3));
    mSequencer.VSolo(9, 4);  // no such track: nothing soloed, step not in solo mode
    EXPECT_FALSE(mSequencer.IsStepVSoloed(4));

    mSequencer.HSolo(2, 1);
    mSequencer.HSolo(2, 1);
    mSequencer.HSolo(2, 2);
    mSequencer.HUnSolo(2, 9);
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
    EXPECT_EQ(mSequencer.GetTrackCount(), 6);
    const KRVTrack& moved = mSequencer.GetTrack(3);
    EXPECT_EQ(moved.GetEvent(4).GetNote(), 70);
    EXPECT_TRUE(moved.GetEvent(4).IsSelected());
    EXPECT_TRUE(moved.GetEvent(5).IsMuted());
    EXPECT_EQ(moved.GetHSoloCount(), 1);
    EXPECT_TRUE(moved.IsMuted());

    mSequencer.DeleteTrack(1);
    EXPECT_TRUE(mSequencer.GetTrack(2).GetEvent(4).IsSelected());
    EXPECT_EQ(mSequencer.GetTrack(2).GetHSoloCount(), 1);
    mSequencer.DeleteTrack(0);
    mSequencer.DeleteTrack(6);
    EXPECT_EQ(mSequencer.GetTrackCount(), 5);

    // A copy takes the content and leaves the destination's marks.
    mSequencer.SelectEvent(1, 4);
    mSequencer.CopyTrack(2, 1);
    EXPECT_EQ(mSequencer.GetEvent(1, 4).GetNote(), 70);
    EXPECT_TRUE(mSequencer.GetEvent(1, 4).IsSelected());
    EXPECT_FALSE(mSequencer.GetEvent(1, 5).IsMuted());
}

TEST_F(SequencerTest, TrackListStopsAtItsLimit) {
    // A position past the end would pad up to it: refused whole.
    EXPECT_EQ(mSequencer.AddTrack(KRVTrack(), KRVSequencer::kMaxTracks + 1), -1);
    EXPECT_EQ(mSequencer.GetTrackCount(), 0);
    EXPECT_EQ(mSequencer.AddTrack(KRVTrack(), KRVSequencer::kMaxTracks), KRVSequencer::kMaxTracks);
    EXPECT_FALSE(mSequencer.CanAddTrack());
    EXPECT_EQ(mSequencer.AddTrack(KRVTrack()), -1);
    EXPECT_EQ(mSequencer.AddTrack(KRVTrack(), 1), -1);
    EXPECT_EQ(mSequencer.GetTrackCount(), KRVSequencer::kMaxTracks);
    mSequencer.DeleteTrack(1);
    EXPECT_TRUE(mSequencer.CanAddTrack(KRVSequencer::kMaxTracks));
    EXPECT_FALSE(mSequencer.CanAddTrack(KRVSequencer::kMaxTracks + 1));
}

TEST_F(SequencerTest, DeletingTheVSoloedTrackFreesTheStep) {
    AddTracks(3);
    mSequencer.VSolo(2, 5);
    mSequencer.VSolo(1, 6);
    mSequencer.DeleteTrack(2);
    EXPECT_FALSE(mSequencer.IsStepVSoloed(5));
    EXPECT_TRUE(mSequencer.IsStepVSoloed(6));
}

// A name means the channel that has it now: one renamed or cleared no
// longer answers to it.
TEST_F(SequencerTest, ChannelNamesMeanTheChannelThatHasThemNow) {
    mSequencer.SetChannelName(0, 10, "drums");
    mSequencer.SetChannelName(1, 3, "perc");
    EXPECT_EQ(mSequencer.GetChannelName(0, 10), "drums");
    EXPECT_EQ(mSequencer.GetChannelName(0, 11), "");
    mSequencer.SetChannelName(0, 10, "perc");
    int port = -1, channel = -1;
    EXPECT_FALSE(mSequencer.GetNamedChannel("drums", &port, &channel));
    // Two channels called alike: the first by port and channel.
    ASSERT_TRUE(mSequencer.GetNamedChannel("perc", &port, &channel));
    EXPECT_EQ(port, 0);
    EXPECT_EQ(channel, 10);
    mSequencer.SetChannelName(0, 10, "kit");
    ASSERT_TRUE(mSequencer.GetNamedChannel("perc", &port, &channel));
    EXPECT_EQ(port, 1);
    EXPECT_EQ(channel, 3);
    mSequencer.DeleteChannelNames();
    EXPECT_FALSE(mSequencer.GetNamedChannel("kit", &port, &channel));
    EXPECT_EQ(mSequencer.GetChannelName(1, 3), "");
}

// Each change is announced once, by the thread that made it; refusals are
// not announced.
TEST_F(SequencerTest, EachChangeIsAnnouncedOnce) {
    RecordingListener listener;
    mSequencer.AddListener(&listener);
    mSequencer.AddTrack(KRVTrack(), 2);
    mSequencer.SetEvent0(1, 3, KRVEvent());
    EXPECT_FALSE(mSequencer.SetScale(1, 65));
    EXPECT_FALSE(mSequencer.SetBPM(0));
    mSequencer.SetChannel(1, 1, 17);
    mSequencer.Reset();
    mSequencer.DeleteTrack(1);
    MIDICLClient client("test", "none");
    mSequencer.AddPort(client.MakeOutputPort("out"));
    EXPECT_EQ(listener.Take(),
              (Heard{"TrackAdded 1", "TrackAdded 2", "EventChanged 2 4", "ClockReset",
                     "TrackChanged 1", "TrackDeleted 1", "PortListChanged"}));
}

}  // namespace
