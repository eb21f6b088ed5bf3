// The selection index (KRVSequencer::RunSelection and friends visit only the
// tracks that hold a selection) against walks over every event, after
// random sequences of every kind of change.

#include "Harness.h"
#include "actions/KRVSelectionAction.h"
#include "actions/KRVSelectionActions.h"

namespace {

// (track, step), 1-based.
using Positions = std::vector<std::pair<int, int>>;

// RunSelection as it was before the index: every track and every seen step
// in order, each mark and count read afresh before its visit.
int RunOverEveryEvent(KRVSequencer& ioSequencer, KRVSelectionAction* inAction) {
    int count = 0;
    for (int track1 = 1; track1 <= ioSequencer.GetTrackCount(); track1++) {
        for (int step1 = 1;
             step1 <= ioSequencer.GetStepCount() && track1 <= ioSequencer.GetTrackCount();
             step1++) {
            if (ioSequencer.GetEvent(track1, step1).IsSelected()) {
                count++;
                inAction->Action(&ioSequencer, track1, step1);
            }
        }
    }
    return count;
}

class Recording : public KRVSelectionAction {
public:
    void Action(KRVSequencer*, int inTrack1, int inStep1) override {
        mVisits.emplace_back(inTrack1, inStep1);
    }
    Positions mVisits;
};

// Changes the selection while the walk goes on, before and after the event
// visited: unselects it, selects or flips another, or sets its note. Two of
// them with one seed make the same changes when they visit in one order.
class Meddling : public Recording {
public:
    explicit Meddling(unsigned inSeed) : mRandom(inSeed) {}
    void Action(KRVSequencer* inSequencer, int inTrack1, int inStep1) override {
        Recording::Action(inSequencer, inTrack1, inStep1);
        const int track1 = 1 + static_cast<int>(mRandom() % inSequencer->GetTrackCount());
        const int step1 = 1 + static_cast<int>(mRandom() % inSequencer->GetStepCount());
        switch (mRandom() % 4) {
            case 0:
                inSequencer->UnSelectEvent(inTrack1, inStep1);
                break;
            case 1:
                inSequencer->SelectEvent(track1, step1);
                break;
            case 2:
                inSequencer->InvertSelect(track1, step1);
                break;
            default:
                inSequencer->SetNote(inTrack1, inStep1, static_cast<int>(mRandom() % 128));
                break;
        }
    }

private:
    std::mt19937 mRandom;
};

// What two sequencers given the same changes must agree on: every mark of
// every one of the 64 events of each track, and every note.
std::vector<int> State(const KRVSequencer& inSequencer) {
    std::vector<int> state;
    for (int track1 = 1; track1 <= inSequencer.GetTrackCount(); track1++) {
        for (int step1 = 1; step1 <= KRVTrack::kMaxSteps; step1++) {
            const KRVEvent& event = inSequencer.GetEvent(track1, step1);
            state.push_back(event.IsSelected() * 1000 + event.GetNote());
        }
    }
    return state;
}

void ExpectIndexAgrees(KRVSequencer& ioSequencer, int inRound) {
    Recording walked;
    RunOverEveryEvent(ioSequencer, &walked);
    const Positions& expected = walked.mVisits;
    Recording recording;
    EXPECT_EQ(ioSequencer.RunSelection(&recording), static_cast<int>(expected.size())) << inRound;
    EXPECT_EQ(recording.mVisits, expected) << inRound;
    EXPECT_EQ(ioSequencer.GetSelectedCount(), static_cast<int>(expected.size())) << inRound;
    Positions listed;
    for (const auto& [track0, step0] : ioSequencer.GetSelectedEvents0()) {
        listed.emplace_back(track0 + 1, step0 + 1);
    }
    EXPECT_EQ(listed, expected) << inRound;
    for (int track1 = 1; track1 <= ioSequencer.GetTrackCount(); track1++) {
        int marked = 0;
        for (int step1 = 1; step1 <= KRVTrack::kMaxSteps; step1++) {
            marked += ioSequencer.GetEvent(track1, step1).IsSelected() ? 1 : 0;
        }
        ASSERT_EQ(ioSequencer.GetTrack(track1).GetSelectedCount(), marked)
            << "round " << inRound << " track " << track1;
    }
}

// Both sequencers take every change; the indexed one walks its selection
// with RunSelection, the other with a walk over every event.
class RandomChanges {
public:
    explicit RandomChanges(unsigned inSeed) : mRandom(inSeed) {
        for (KRVSequencer* sequencer : {&mIndexed, &mWalked}) {
            sequencer->SetScale(1, 16);
        }
    }

    int Draw(int inBelow) { return inBelow <= 0 ? 0 : static_cast<int>(mRandom() % inBelow); }

    void Step(int inRound) {
        const int tracks = mIndexed.GetTrackCount();
        const int steps = mIndexed.GetStepCount();
        // Some numbers fall outside the grid, which the calls must ignore.
        const int track1 = Draw(tracks + 2);
        const int step1 = Draw(steps + 2);
        const int kind = Draw(100);
        if (kind < 10) {
            Both([](KRVSequencer& s) { s.AddTrack(KRVTrack()); });
        } else if (kind < 18) {
            // Anywhere, past the end too (the gap is padded), with a copy of
            // a track whose marks the copy must not take.
            const int position = Draw(tracks + 4) - 1;
            const int source = tracks > 0 ? 1 + Draw(tracks) : 0;
            Both([&](KRVSequencer& s) {
                KRVTrack track = source > 0 ? s.GetTrack(source) : KRVTrack();
                if (s.CanAddTrack(position)) {
                    s.AddTrack(track, position);
                }
            });
        } else if (kind < 25) {
            Both([&](KRVSequencer& s) { s.DeleteTrack(track1); });
        } else if (kind < 26) {
            Both([](KRVSequencer& s) { s.DeleteAllTracks(); });
        } else if (kind < 40) {
            Both([&](KRVSequencer& s) { s.SelectEvent(track1, step1); });
        } else if (kind < 47) {
            Both([&](KRVSequencer& s) { s.UnSelectEvent(track1, step1); });
        } else if (kind < 50) {
            Both([&](KRVSequencer& s) { s.SelectStep(step1); });
        } else if (kind < 53) {
            Both([&](KRVSequencer& s) { s.UnSelectStep(step1); });
        } else if (kind < 56) {
            Both([&](KRVSequencer& s) { s.SelectTrack(track1); });
        } else if (kind < 59) {
            Both([&](KRVSequencer& s) { s.UnSelectTrack(track1); });
        } else if (kind < 60) {
            Both([](KRVSequencer& s) { s.SelectAll(); });
        } else if (kind < 64 && tracks > 0) {
            const int invert1 = 1 + Draw(tracks);
            const int invertStep1 = 1 + Draw(steps);
            Both([&](KRVSequencer& s) { s.InvertSelect(invert1, invertStep1); });
        } else if (kind < 67 && tracks > 0) {
            const int from1 = 1 + Draw(tracks);
            const int to1 = 1 + Draw(tracks);
            Both([&](KRVSequencer& s) { s.CopyTrack(from1, to1); });
        } else if (kind < 70) {
            // Fewer steps hide selected events, which must then go unvisited
            // and uncounted; more show them again.
            static const std::pair<int, int> kScales[] = {
                {1, 16}, {1, 8}, {4, 64}, {2, 32}, {1, 10}};
            const auto [bars, scaleSteps] = kScales[Draw(5)];
            Both([&](KRVSequencer& s) { s.SetScale(bars, scaleSteps); });
        } else if (kind < 72) {
            KRVSelectionClear clear;
            Walk(&clear, &clear, inRound);
        } else if (kind < 76) {
            KRVSelectionSelectByClockDivision narrow(1 + Draw(8));
            Walk(&narrow, &narrow, inRound);
        } else if (kind < 86 && tracks > 0) {
            const unsigned seed = mRandom();
            Meddling indexed(seed);
            Meddling walked(seed);
            Walk(&indexed, &walked, inRound);
            EXPECT_EQ(indexed.mVisits, walked.mVisits) << inRound;
        } else if (kind < 92) {
            const int places = Draw(9) - 4;
            const unsigned seed = mRandom();
            Both([&](KRVSequencer& s) {
                std::srand(seed);
                switch (places % 3) {
                    case 0:
                        s.RotateSelectionForwards(places);
                        break;
                    case 1:
                    case -1:
                        s.RotateSelectionBackwards(places);
                        break;
                    default:
                        if (s.GetSelectedCount() > 0) {
                            s.VarySelection();
                            s.VarySelection2();
                        }
                        break;
                }
            });
        } else {
            // Rebuilding from the tracks finds what was kept all along.
            mIndexed.RebuildSelectionIndex();
        }
        ASSERT_EQ(State(mIndexed), State(mWalked)) << "round " << inRound << " kind " << kind;
        ExpectIndexAgrees(mIndexed, inRound);
    }

    KRVSequencer mIndexed;

private:
    template <typename Change>
    void Both(Change inChange) {
        inChange(mIndexed);
        inChange(mWalked);
    }

    void Walk(KRVSelectionAction* inIndexed, KRVSelectionAction* inWalked, int inRound) {
        const int count = mIndexed.RunSelection(inIndexed);
        EXPECT_EQ(RunOverEveryEvent(mWalked, inWalked), count) << inRound;
    }

    std::mt19937 mRandom;
    KRVSequencer mWalked;
};

TEST(SelectionIndex, AgreesWithAWalkOverEveryEventAfterRandomChanges) {
    for (unsigned seed = 1; seed <= 6; seed++) {
        RandomChanges changes(seed);
        for (int round = 0; round < 1500 && !testing::Test::HasFatalFailure(); round++) {
            changes.Step(round);
        }
    }
}

// A full sequence: the index spans all sixteen words of its bits, and
// tracks inserted and deleted near their edges move the marks after them.
TEST(SelectionIndex, FollowsTracksAcrossAWholeSequence) {
    KRVSequencer sequencer;
    sequencer.SetScale(1, 16);
    for (int i = 0; i < KRVSequencer::kMaxTracks - 4; i++) {
        sequencer.AddTrack(KRVTrack());
    }
    for (int track1 : {1, 63, 64, 65, 66, 127, 128, 129, 500, 1019, 1020}) {
        sequencer.SelectEvent(track1, track1 % 16 + 1);
    }
    ExpectIndexAgrees(sequencer, 0);
    for (int position : {64, 1, 129, 65, 1000}) {
        sequencer.AddTrack(KRVTrack(), position);
        ExpectIndexAgrees(sequencer, position);
    }
    for (int track1 : {65, 1, 64, 128, 1024, 2}) {
        sequencer.DeleteTrack(track1);
        ExpectIndexAgrees(sequencer, track1);
    }
    sequencer.DeleteAllTracks();
    EXPECT_EQ(sequencer.GetTrackCount(), 0);
    ExpectIndexAgrees(sequencer, -1);
}

}  // namespace
