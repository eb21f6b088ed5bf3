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
            SCOPED_TRACE(std::string(Fit::GetKeyName(key)) + " " + std::to_string(note));
            bool drawnRight = InMajorKey(key, kDrawnRows[k][pitchClass]) &&
                              (!InMajorKey(key, note) || kDrawnRows[k][pitchClass] == pitchClass);
            EXPECT_TRUE(InMajorKey(key, fitted));
            EXPECT_LE(std::abs(fitted - note), 1);
            EXPECT_TRUE(!InMajorKey(key, note) || fitted == note);
            EXPECT_TRUE(!drawnRight || fitted == 60 + kDrawnRows[k][pitchClass]);
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
    Values draws = {std::rand(), std::rand(), std::rand(), std::rand()};

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

// Four selected steps on two tracks, (1, 2), (1, 9), (2, 1), (2, 16), with
// contents A, B, C, D told apart by note and velocity. Step (1, 9) is muted
// and (2, 1) h-soloed; the marks must stay on their steps.
class RotationTest : public SelectionActionTest {
protected:
    void SetUp() override {
        SelectionActionTest::SetUp();
        Fill();
    }
    // Puts A, B, C, D back in place; the marks are set again, which changes
    // nothing after the first time.
    void Fill() {
        int content = 0;
        for (auto [track1, step1] : kPositions) {
            mSequencer.SetNote(track1, step1, 60 + content);
            mSequencer.SetVelocity(track1, step1, 100 + content++);
            mSequencer.SelectEvent(track1, step1);
        }
        mSequencer.Mute(1, 9);
        mSequencer.HSolo(2, 1);
    }
    // The notes at the four positions, as letters, "ABCD" when untouched;
    // and whether the marks stayed.
    std::string Contents() const {
        std::string letters;
        for (auto [track1, step1] : kPositions) {
            const KRVEvent& event = mSequencer.GetEvent(track1, step1);
            EXPECT_EQ(event.GetVelocity() - event.GetNote(), 40) << "content torn apart";
            EXPECT_TRUE(event.IsSelected());
            letters += static_cast<char>('A' + event.GetNote() - 60);
        }
        EXPECT_TRUE(mSequencer.GetEvent(1, 9).IsMuted() && mSequencer.GetEvent(2, 1).IsHSoloed());
        EXPECT_EQ(
            mSequencer.GetTrack(2).GetHSoloCount() * 10 + mSequencer.GetTrack(1).GetHSoloCount(),
            10);
        return letters;
    }
    static constexpr std::pair<int, int> kPositions[4] = {{1, 2}, {1, 9}, {2, 1}, {2, 16}};
};

TEST_F(RotationTest, ForwardsAndBackwardsMoveContentNotMarks) {
    const std::pair<int, const char*> kCases[] = {
        {0, "ABCD"},  {1, "DABC"},  {2, "CDAB"},       {3, "BCDA"},
        {4, "ABCD"},  {5, "ABCD"},  {-1, "BCDA"},      {-2, "CDAB"},
        {-3, "DABC"}, {-4, "ABCD"}, {INT_MIN, "ABCD"}, {INT_MAX, "ABCD"}};
    for (const auto& [count, result] : kCases) {
        Fill();
        EXPECT_EQ(mSequencer.RotateSelectionForwards(count), 4) << count;
        EXPECT_EQ(Contents(), result) << count;
        // Each entry point hands the other direction on.
        Fill();
        EXPECT_EQ(mSequencer.RotateSelectionBackwards(count), 4) << count;
        EXPECT_EQ(Contents(), result) << count;
    }
}

TEST_F(RotationTest, OnlyTheVisibleSelectionTakesPart) {
    mSequencer.UnSelectEvent(2, 16);
    mSequencer.SelectEvent(1, 12);  // will fall out of view
    mSequencer.SetNote(1, 12, 99);
    ASSERT_TRUE(mSequencer.SetScale(1, 10));
    EXPECT_EQ(mSequencer.RotateSelectionForwards(1), 3);
    EXPECT_EQ(mSequencer.GetEvent(1, 2).GetNote() * 10000 +
                  mSequencer.GetEvent(1, 9).GetNote() * 100 + mSequencer.GetEvent(2, 1).GetNote(),
              626061);  // C A B
    EXPECT_EQ(mSequencer.VarySelection(), 3);
    EXPECT_EQ(mSequencer.GetEvent(1, 12).GetNote(), 99);

    for (auto [track1, step1] : kPositions) {
        mSequencer.UnSelectEvent(track1, step1);
    }
    EXPECT_EQ(mSequencer.RotateSelectionForwards(1), 0);
    EXPECT_EQ(mSequencer.VarySelection(), 0);
    EXPECT_EQ(mSequencer.VarySelection2(), 0);
}

// Vary shuffles the content, the same draws the same way; vary2 redraws
// notes only, each from those of the selection.
TEST_F(RotationTest, VaryAndVary2DrawRepeatably) {
    std::srand(1);
    EXPECT_EQ(mSequencer.VarySelection(), 4);
    std::string first = Contents();
    std::string sorted = first;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, "ABCD");
    Fill();
    std::srand(1);
    mSequencer.VarySelection();
    EXPECT_EQ(Contents(), first);

    // Notes 60, 60, 64, 60; the notes list keeps the order of first
    // appearance: 60 then 64.
    Fill();
    mSequencer.SetNote(1, 9, 60);
    mSequencer.SetNote(2, 1, 64);
    mSequencer.SetNote(2, 16, 60);
    std::srand(1);
    EXPECT_EQ(mSequencer.VarySelection2(), 4);
    std::srand(1);
    int velocity = 100;
    for (auto [track1, step1] : kPositions) {
        const KRVEvent& event = mSequencer.GetEvent(track1, step1);
        EXPECT_EQ(event.GetNote(), std::rand() % 2 == 0 ? 60 : 64);
        EXPECT_EQ(event.GetVelocity(), velocity++);
    }
    for (auto [track1, step1] : kPositions) {
        mSequencer.SetNote(track1, step1, 62);
    }
    EXPECT_EQ(mSequencer.VarySelection2(), 4);
    for (auto [track1, step1] : kPositions) {
        EXPECT_EQ(mSequencer.GetEvent(track1, step1).GetNote(), 62);
    }
}

}  // namespace
