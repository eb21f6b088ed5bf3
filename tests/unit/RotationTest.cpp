#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "model/KRVSequencer.h"

namespace {

// Four selected steps on two tracks, (1, 2), (1, 9), (2, 1), (2, 16), with
// contents A, B, C, D told apart by note and velocity. Step (1, 9) is muted
// and (2, 1) h-soloed; the marks must stay on their steps.
class RotationTest : public ::testing::Test {
protected:
    void SetUp() override {
        mSequencer.SetScale(1, 16);
        mSequencer.AddTrack(KRVTrack());
        mSequencer.AddTrack(KRVTrack());
        Fill();
    }
    // Puts A, B, C, D back in place; the marks are set again, which changes
    // nothing after the first time.
    void Fill() {
        int content = 0;
        for (auto [track1, step1] : kPositions) {
            mSequencer.SetNote(track1, step1, 60 + content);
            mSequencer.SetVelocity(track1, step1, 100 + content);
            mSequencer.SelectEvent(track1, step1);
            content++;
        }
        mSequencer.Mute(1, 9);
        mSequencer.HSolo(2, 1);
    }
    // The notes at the four positions, as letters: "ABCD" when untouched.
    std::string Contents() const {
        std::string letters;
        for (auto [track1, step1] : kPositions) {
            const KRVEvent& event = mSequencer.GetEvent(track1, step1);
            EXPECT_EQ(event.GetVelocity() - event.GetNote(), 40) << "content torn apart";
            letters += static_cast<char>('A' + event.GetNote() - 60);
        }
        return letters;
    }
    void ExpectMarksInPlace() const {
        for (auto [track1, step1] : kPositions) {
            EXPECT_TRUE(mSequencer.GetEvent(track1, step1).IsSelected());
        }
        EXPECT_TRUE(mSequencer.GetEvent(1, 9).IsMuted());
        EXPECT_TRUE(mSequencer.GetEvent(2, 1).IsHSoloed());
        EXPECT_EQ(mSequencer.GetTrack(2).GetHSoloCount(), 1);
        EXPECT_EQ(mSequencer.GetTrack(1).GetHSoloCount(), 0);
    }
    static constexpr std::pair<int, int> kPositions[4] = {{1, 2}, {1, 9}, {2, 1}, {2, 16}};
    KRVSequencer mSequencer;
};

TEST_F(RotationTest, ForwardsAndBackwardsMoveContentNotMarks) {
    struct Case {
        int mCount;
        const char* mResult;
    };
    for (Case c : {Case{0, "ABCD"},
                   {1, "DABC"},
                   {2, "CDAB"},
                   {3, "BCDA"},
                   {4, "ABCD"},
                   {5, "ABCD"},
                   {-1, "BCDA"},
                   {-2, "CDAB"},
                   {-3, "DABC"},
                   {-4, "ABCD"},
                   {INT_MIN, "ABCD"},
                   {INT_MAX, "ABCD"}}) {
        Fill();
        EXPECT_EQ(mSequencer.RotateSelectionForwards(c.mCount), 4) << c.mCount;
        EXPECT_EQ(Contents(), c.mResult) << c.mCount;
        ExpectMarksInPlace();
        // Each entry point hands the other direction on.
        Fill();
        EXPECT_EQ(mSequencer.RotateSelectionBackwards(c.mCount), 4) << c.mCount;
        EXPECT_EQ(Contents(), c.mResult) << c.mCount;
    }
}

TEST_F(RotationTest, OnlyTheVisibleSelectionTakesPart) {
    mSequencer.UnSelectEvent(2, 16);
    mSequencer.SelectEvent(1, 12);  // will fall out of view
    mSequencer.SetNote(1, 12, 99);
    ASSERT_TRUE(mSequencer.SetScale(1, 10));
    EXPECT_EQ(mSequencer.RotateSelectionForwards(1), 3);
    EXPECT_EQ(Contents(), "CABD");
    EXPECT_EQ(mSequencer.GetEvent(1, 12).GetNote(), 99);
    EXPECT_EQ(mSequencer.VarySelection(), 3);
    EXPECT_EQ(mSequencer.GetEvent(1, 12).GetNote(), 99);

    for (auto [track1, step1] : kPositions) {
        mSequencer.UnSelectEvent(track1, step1);
    }
    EXPECT_EQ(mSequencer.RotateSelectionForwards(1), 0);
    EXPECT_EQ(mSequencer.VarySelection(), 0);
    EXPECT_EQ(mSequencer.VarySelection2(), 0);
}

// Reseeding with 1 replays the generator from program start.
TEST_F(RotationTest, VaryShufflesContentRepeatably) {
    std::srand(1);
    EXPECT_EQ(mSequencer.VarySelection(), 4);
    std::string first = Contents();
    ExpectMarksInPlace();
    std::string sorted = first;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, "ABCD");

    // The same draws give the same shuffle.
    Fill();
    std::srand(1);
    mSequencer.VarySelection();
    EXPECT_EQ(Contents(), first);
}

TEST_F(RotationTest, Vary2RedrawsNotesFromTheSelection) {
    // Notes 60, 60, 64, 60: only notes change, each to 60 or 64.
    mSequencer.SetNote(1, 9, 60);
    mSequencer.SetNote(2, 1, 64);
    mSequencer.SetNote(2, 16, 60);
    std::vector<int> drawn;
    std::srand(1);
    EXPECT_EQ(mSequencer.VarySelection2(), 4);
    int velocity = 100;
    for (auto [track1, step1] : kPositions) {
        const KRVEvent& event = mSequencer.GetEvent(track1, step1);
        EXPECT_TRUE(event.GetNote() == 60 || event.GetNote() == 64);
        EXPECT_EQ(event.GetVelocity(), velocity++);
        drawn.push_back(event.GetNote());
    }
    // The notes list keeps the order of first appearance: 60 then 64.
    std::srand(1);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(drawn[i], std::rand() % 2 == 0 ? 60 : 64) << i;
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
