#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <vector>

#include "MIDICLClient.h"
#include "actions/KRVSelectionActions.h"
#include "actions/KRVSelectionFitToKey.h"
#include "model/KRVSequencer.h"

namespace {

using Fit = KRVSelectionFitToKey;

class SelectionActionTest : public ::testing::Test {
protected:
    void SetUp() override {
        mSequencer.SetScale(1, 16);
        mSequencer.AddTrack(KRVTrack());
        mSequencer.AddTrack(KRVTrack());
    }
    // Puts inNotes on track 1 from step 1 on and selects those steps.
    void SelectNotes(std::initializer_list<int> inNotes) {
        int step1 = 1;
        for (int note : inNotes) {
            mSequencer.SetNote(1, step1, note);
            mSequencer.SelectEvent(1, step1++);
        }
    }
    std::vector<int> Notes(int inSteps) const {
        std::vector<int> notes;
        for (int step1 = 1; step1 <= inSteps; step1++) {
            notes.push_back(mSequencer.GetEvent(1, step1).GetNote());
        }
        return notes;
    }
    std::vector<int> SelectedSteps(int inTrack1) const {
        std::vector<int> steps;
        for (int step1 = 1; step1 <= mSequencer.GetStepCount(); step1++) {
            if (mSequencer.GetEvent(inTrack1, step1).IsSelected()) {
                steps.push_back(step1);
            }
        }
        return steps;
    }
    int Fitted(Fit::Key inKey, int inNote) {
        mSequencer.SetNote(1, 1, inNote);
        mSequencer.SelectEvent(1, 1);
        Fit fit(inKey);
        mSequencer.RunSelection(&fit);
        return mSequencer.GetEvent(1, 1).GetNote();
    }
    KRVSequencer mSequencer;
};

TEST_F(SelectionActionTest, IncrementsStopAtTheEdgeInsteadOfClamping) {
    SelectNotes({120, 125});
    KRVSelectionIncrementNote note(5);
    mSequencer.RunSelection(&note);
    EXPECT_EQ(Notes(2), (std::vector<int>{125, 125}));

    mSequencer.SetChannel(1, 1, 15);
    mSequencer.SetChannel(1, 2, 16);
    KRVSelectionIncrementChannel channelUp(1);
    mSequencer.RunSelection(&channelUp);
    EXPECT_EQ(mSequencer.GetEvent(1, 1).GetChannel(), 16);
    EXPECT_EQ(mSequencer.GetEvent(1, 2).GetChannel(), 16);
    mSequencer.SetChannel(1, 1, 1);
    KRVSelectionIncrementChannel channelDown(-1);
    mSequencer.RunSelection(&channelDown);
    EXPECT_EQ(mSequencer.GetEvent(1, 1).GetChannel(), 1);
    EXPECT_EQ(mSequencer.GetEvent(1, 2).GetChannel(), 15);

    // Gate 0 is out of an increment's reach.
    mSequencer.SetGateTime(1, 2, 10);
    KRVSelectionIncrementGateTime gate(-10);
    mSequencer.RunSelection(&gate);
    EXPECT_EQ(mSequencer.GetEvent(1, 1).GetGateTime(), 40);
    EXPECT_EQ(mSequencer.GetEvent(1, 2).GetGateTime(), 10);

    mSequencer.SetVelocity(1, 2, 1);
    KRVSelectionIncrementVelocity velocity(-64);
    mSequencer.RunSelection(&velocity);
    EXPECT_EQ(mSequencer.GetEvent(1, 1).GetVelocity(), 0);
    EXPECT_EQ(mSequencer.GetEvent(1, 2).GetVelocity(), 1);

    // No ports: no port is in range, nothing is written.
    KRVSelectionIncrementPort port(1);
    mSequencer.RunSelection(&port);
    EXPECT_EQ(mSequencer.GetEvent(1, 1).GetPort(), 0);
}

TEST_F(SelectionActionTest, PortsMoveWithinThePortsThereAre) {
    MIDICLClient client("test", "none");
    mSequencer.AddPort(client.MakeOutputPort("a"));
    mSequencer.AddPort(client.MakeOutputPort("b"));
    SelectNotes({1, 2, 3});
    mSequencer.SetPort(1, 2, 1);
    KRVSelectionIncrementPort port(1);
    mSequencer.RunSelection(&port);
    EXPECT_EQ(mSequencer.GetEvent(1, 1).GetPort(), 1);
    EXPECT_EQ(mSequencer.GetEvent(1, 2).GetPort(), 1);
}

TEST_F(SelectionActionTest, ClockDivisionKeepsTheLastStepOfEachDivision) {
    struct Case {
        int mBars, mSteps, mDivision;
        std::vector<int> mKept;
    };
    std::vector<int> every4 = {4, 8, 12, 16};
    std::vector<int> even = {2, 4, 6, 8, 10, 12, 14, 16};
    std::vector<int> all = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (const Case& c :
         {Case{1, 16, 4, every4}, Case{1, 16, 8, even}, Case{2, 16, 4, even}, Case{2, 16, 8, all},
          // Divisions shorter than a step: every step keeps
          // its selection rather than dividing by zero.
          Case{1, 4, 8, {1, 2, 3, 4}}, Case{4, 4, 4, {1, 2, 3, 4}}}) {
        ASSERT_TRUE(mSequencer.SetScale(c.mBars, c.mSteps));
        mSequencer.SelectTrack(1);
        KRVSelectionSelectByClockDivision divide(c.mDivision);
        EXPECT_EQ(mSequencer.RunSelection(&divide), c.mSteps);
        EXPECT_EQ(SelectedSteps(1), c.mKept) << c.mBars << " " << c.mSteps << " " << c.mDivision;
        EXPECT_TRUE(SelectedSteps(2).empty());
    }
}

// The rows as they were first drawn up, the three unlisted keys sharing their
// twins' rows. A fitted note may differ from them only where they broke the
// rule: a note of the key moved, or a note moved out of the key.
const int kDrawnRows[18][12] = {
    {0, 0, 2, 2, 4, 5, 5, 7, 7, 9, 9, 11},   {1, 1, 3, 3, 5, 6, 6, 8, 8, 10, 10, 12},
    {0, 1, 1, 3, 3, 5, 6, 6, 8, 8, 10, 10},  {1, 1, 2, 2, 4, 6, 6, 7, 7, 9, 9, 11},
    {0, 0, 2, 3, 3, 5, 5, 7, 8, 8, 10, 10},  {0, 0, 2, 3, 3, 5, 5, 7, 8, 8, 10, 10},
    {1, 1, 3, 3, 4, 6, 6, 8, 8, 9, 9, 11},   {0, 0, 2, 2, 4, 5, 5, 7, 7, 9, 10, 10},
    {1, 1, 3, 3, 5, 6, 6, 8, 8, 10, 10, 11}, {0, 1, 1, 3, 3, 5, 6, 6, 8, 8, 10, 10},
    {0, 0, 2, 2, 4, 6, 6, 7, 7, 9, 9, 11},   {0, 1, 1, 3, 3, 5, 5, 7, 8, 8, 10, 10},
    {0, 1, 1, 3, 3, 5, 5, 7, 8, 8, 10, 10},  {1, 1, 3, 3, 4, 6, 6, 8, 8, 9, 9, 11},
    {0, 0, 2, 3, 3, 5, 5, 7, 7, 9, 10, 10},  {0, 0, 2, 3, 3, 5, 5, 7, 7, 9, 10, 10},
    {1, 1, 3, 3, 4, 6, 6, 8, 8, 10, 10, 11}, {-1, 1, 1, 3, 3, 4, 6, 6, 8, 8, 10, 10}};

// The key's tonic as a pitch class, from its name, and the major scale on it.
bool InMajorKey(Fit::Key inKey, int inNote) {
    static const int kTonics[18] = {0, 1, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 8, 9, 10, 10, 11, 11};
    static const bool kScale[12] = {true,  false, true,  false, true,  true,
                                    false, true,  false, true,  false, true};
    return kScale[((inNote - kTonics[inKey]) % 12 + 12) % 12];
}

TEST_F(SelectionActionTest, FitToKeyLandsInTheKeyAndKeepsItsNotes) {
    EXPECT_EQ(Fit::GetKeyNameCount(), 18);
    EXPECT_STREQ(Fit::GetKeyName(Fit::kCFlatMajor), "Cb");
    EXPECT_STREQ(Fit::GetKeyName(Fit::kDFlatMajor), "Db");
    for (int k = 0; k < Fit::GetKeyNameCount(); k++) {
        auto key = static_cast<Fit::Key>(k);
        for (int pitchClass = 0; pitchClass < 12; pitchClass++) {
            int note = 60 + pitchClass;
            int fitted = Fitted(key, note);
            bool drawnRight = InMajorKey(key, kDrawnRows[k][pitchClass]) &&
                              (!InMajorKey(key, note) || kDrawnRows[k][pitchClass] == pitchClass);
            EXPECT_TRUE(InMajorKey(key, fitted)) << Fit::GetKeyName(key) << " " << note;
            EXPECT_LE(std::abs(fitted - note), 1) << Fit::GetKeyName(key) << " " << note;
            if (InMajorKey(key, note)) {
                EXPECT_EQ(fitted, note) << Fit::GetKeyName(key) << " " << note;
            }
            if (drawnRight) {
                EXPECT_EQ(fitted, 60 + kDrawnRows[k][pitchClass])
                    << Fit::GetKeyName(key) << " " << note;
            }
        }
        // At the ends of the note range the key's nearest note inside it.
        for (int note : {0, 1, 126, 127}) {
            int fitted = Fitted(key, note);
            EXPECT_TRUE(fitted >= 0 && fitted <= 127 && InMajorKey(key, fitted))
                << Fit::GetKeyName(key) << " " << note << " -> " << fitted;
        }
    }
    EXPECT_EQ(Fitted(Fit::kCSharpMajor, 71), 72);
    EXPECT_EQ(Fitted(Fit::kCSharpMajor, 127), 126);
    EXPECT_EQ(Fitted(Fit::kCFlatMajor, 0), 1);
    EXPECT_EQ(Fitted(Fit::kCFlatMajor, 12), 11);
}

// The C library's generator starts as if seeded with 1; reseeding with 1
// replays the draws a fresh program would make.
TEST_F(SelectionActionTest, RandomActionsDrawOncePerEventInWalkOrder) {
    mSequencer.SelectEvent(2, 1);
    mSequencer.SelectEvent(1, 9);
    mSequencer.SelectEvent(1, 3);
    std::srand(1);
    std::vector<int> draws = {std::rand(), std::rand(), std::rand(), std::rand()};

    std::srand(1);
    KRVSelectionRandomiseNote notes(60, 12);
    EXPECT_EQ(mSequencer.RunSelection(&notes), 3);
    EXPECT_EQ(mSequencer.GetEvent(1, 3).GetNote(), 60 + draws[0] % 13);
    EXPECT_EQ(mSequencer.GetEvent(1, 9).GetNote(), 60 + draws[1] % 13);
    EXPECT_EQ(mSequencer.GetEvent(2, 1).GetNote(), 60 + draws[2] % 13);
    EXPECT_EQ(std::rand(), draws[3]);

    // A range of 0 still draws; channels are 1-based; ports are untouched.
    std::srand(1);
    KRVSelectionRandomiseChannel channels(16, 0);
    mSequencer.RunSelection(&channels);
    EXPECT_EQ(mSequencer.GetEvent(2, 1).GetChannel(), 16);
    EXPECT_EQ(mSequencer.GetEvent(2, 1).GetPort(), 0);
    EXPECT_EQ(std::rand(), draws[3]);

    std::srand(1);
    KRVSelectionRandomMute mute;
    mSequencer.RunSelection(&mute);
    EXPECT_EQ(mSequencer.GetEvent(1, 3).IsMuted(), draws[0] % 2 == 1);
    EXPECT_EQ(mSequencer.GetEvent(1, 9).IsMuted(), draws[1] % 2 == 1);
    EXPECT_EQ(mSequencer.GetEvent(2, 1).IsMuted(), draws[2] % 2 == 1);

    // Nothing selected: nothing drawn.
    KRVSelectionClear clear;
    mSequencer.RunSelection(&clear);
    std::srand(1);
    EXPECT_EQ(mSequencer.RunSelection(&notes), 0);
    EXPECT_EQ(std::rand(), draws[0]);
}

}  // namespace
