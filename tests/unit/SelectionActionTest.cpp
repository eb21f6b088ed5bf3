#include "Harness.h"
#include "actions/KRVSelectionActions.h"
#include "actions/KRVSelectionFitToKey.h"

namespace {

using Fit = KRVSelectionFitToKey;
using Values = std::vector<int>;

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
    // inGet of the first two events of track 1 after running inAction.
    template <typename Get>
    Values Run(KRVSelectionAction&& inAction, Get inGet) {
        mSequencer.RunSelection(&inAction);
        return {(mSequencer.GetEvent(1, 1).*inGet)(), (mSequencer.GetEvent(1, 2).*inGet)()};
    }
    Values SelectedSteps(int inTrack1) const {
        Values steps;
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
    EXPECT_EQ(Run(KRVSelectionIncrementNote(5), &KRVEvent::GetNote), (Values{125, 125}));
    mSequencer.SetChannel(1, 1, 15);
    mSequencer.SetChannel(1, 2, 16);
    EXPECT_EQ(Run(KRVSelectionIncrementChannel(1), &KRVEvent::GetChannel), (Values{16, 16}));
    mSequencer.SetChannel(1, 1, 1);
    EXPECT_EQ(Run(KRVSelectionIncrementChannel(-1), &KRVEvent::GetChannel), (Values{1, 15}));
    // Gate 0 is out of an increment's reach.
    mSequencer.SetGateTime(1, 2, 10);
    EXPECT_EQ(Run(KRVSelectionIncrementGateTime(-10), &KRVEvent::GetGateTime), (Values{40, 10}));
    mSequencer.SetVelocity(1, 2, 1);
    EXPECT_EQ(Run(KRVSelectionIncrementVelocity(-64), &KRVEvent::GetVelocity), (Values{0, 1}));
    // No ports: no port is in range, nothing is written; with two, ports
    // move within them.
    EXPECT_EQ(Run(KRVSelectionIncrementPort(1), &KRVEvent::GetPort), (Values{0, 0}));
    MIDICLClient client("test", "none");
    mSequencer.AddPort(client.MakeOutputPort("a"));
    mSequencer.AddPort(client.MakeOutputPort("b"));
    mSequencer.SetPort(1, 2, 1);
    EXPECT_EQ(Run(KRVSelectionIncrementPort(1), &KRVEvent::GetPort), (Values{1, 1}));
}

TEST_F(SelectionActionTest, ClockDivisionKeepsTheLastStepOfEachDivision) {
    struct Case {
        int mBars, mSteps, mDivision;
        Values mKept;
    };
    Values every4 = {4, 8, 12, 16};
    Values even = {2, 4, 6, 8, 10, 12, 14, 16};
    Values all = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (const Case& c :
         {Case{1, 16, 4, every4}, Case{1, 16, 8, even}, Case{2, 16, 4, even}, Case{2, 16, 8, all},
          // Divisions shorter than a step: every step keeps its selection
          // rather than dividing by zero.
          Case{1, 4, 8, {1, 2, 3, 4}}, Case{4, 4, 4, {1, 2, 3, 4}}}) {
        ASSERT_TRUE(mSequencer.SetScale(c.mBars, c.mSteps));
        mSequencer.SelectTrack(1);
        KRVSelectionSelectByClockDivision divide(c.mDivision);
        EXPECT_EQ(mSequencer.RunSelection(&divide), c.mSteps);
        EXPECT_EQ(SelectedSteps(1), c.mKept) << c.mBars << " " << c.mSteps << " " << c.mDivision;
        EXPECT_TRUE(SelectedSteps(2).empty());
    }
}

// The key's tonic as a pitch class, from its name, and the major scale on it.
bool InMajorKey(Fit::Key inKey, int inNote) {
    static const int kTonics[18] = {0, 1, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 8, 9, 10, 10, 11, 11};
    static const bool kScale[12] = {true,  false, true,  false, true,  true,
                                    false, true,  false, true,  false, true};
    return kScale[((inNote - kTonics[inKey]) % 12 + 12) % 12];
}

TEST_F(SelectionActionTest, FitToKeyLandsInTheKeyAndKeepsItsNotes) {
    for (int k = 0; k < Fit::GetKeyNameCount(); k++) {
        auto key = static_cast<Fit::Key>(k);
        for (int pitchClass = 0; pitchClass < 12; pitchClass++) {
            int note = 60 + pitchClass;
            int fitted = Fitted(key, note);
            SCOPED_TRACE(std::string(Fit::GetKeyName(key)) + " " + std::to_string(note));
            EXPECT_TRUE(InMajorKey(key, fitted));
            EXPECT_LE(std::abs(fitted - note), 1);
            EXPECT_TRUE(!InMajorKey(key, note) || fitted == note);
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

}  // namespace
