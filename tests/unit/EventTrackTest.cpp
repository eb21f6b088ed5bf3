#include <gtest/gtest.h>

#include "model/KRVEvent.h"
#include "model/KRVSequencer.h"
#include "model/KRVTrack.h"

namespace {

// An event with content and every mark set, through the sequencer's setters.
KRVEvent& MarkedEvent(KRVSequencer& ioSequencer) {
    ioSequencer.AddTrack(KRVTrack());
    ioSequencer.SetNote(1, 1, 50);
    ioSequencer.SetVelocity(1, 1, 99);
    ioSequencer.SetGateTime(1, 1, 70);
    ioSequencer.SetChannel(1, 1, 10);
    ioSequencer.SelectEvent(1, 1);
    ioSequencer.Mute(1, 1);
    ioSequencer.HSolo(1, 1);
    ioSequencer.VSolo(1, 1);
    return ioSequencer.GetEvent(1, 1);
}

TEST(KRVEvent, NoteNamesFormatAndParse) {
    EXPECT_EQ(KRVEvent::FormatNoteNumber(60), "C4");
    EXPECT_EQ(KRVEvent::FormatNoteNumber(0), "C-1");
    EXPECT_EQ(KRVEvent::FormatNoteNumber(1), "C#-1");
    EXPECT_EQ(KRVEvent::FormatNoteNumber(127), "G9");
    EXPECT_EQ(KRVEvent::FormatNoteNumber(255), "D#20");

    EXPECT_EQ(KRVEvent::ParseNoteNumber("c4"), 60);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("C#4"), 61);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("a#-1"), 10);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("C"), 12);
    // Flats, and sharps and flats that cross into the next octave.
    EXPECT_EQ(KRVEvent::ParseNoteNumber("Db3"), 49);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("Bb2"), 46);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("cb4"), 59);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("Fb4"), 64);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("E#4"), 65);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("B#3"), 60);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("H3"), 0);
    EXPECT_TRUE(KRVEvent::IsNoteName("g"));
    EXPECT_TRUE(KRVEvent::IsNoteName("bb"));
    for (const char* notName : {"H2", "X", "-5", "+5", "", "#3", "?"}) {
        EXPECT_FALSE(KRVEvent::IsNoteName(notName)) << notName;
    }
    EXPECT_EQ(KRVEvent::ParseNoteNumber("G#9"), 128);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("C-2"), -12);
    // Octaves are held to +-1000, so no octave wraps round into the note
    // range (2^32 + 5 would read as octave 5).
    EXPECT_EQ(KRVEvent::ParseNoteNumber("C4294967301"), 12012);
    EXPECT_EQ(KRVEvent::ParseNoteNumber("B-4294967291"), -11977);
    EXPECT_EQ(KRVEvent::ParseNoteNumber(""), 0);
    for (int note = 0; note < 128; note++) {
        EXPECT_EQ(KRVEvent::ParseNoteNumber(KRVEvent::FormatNoteNumber(note)), note);
    }
}

// Assignment keeping the target's marks is what rotation relies on, and its
// tests show it; a copy constructed is a fresh event, marks and all.
TEST(KRVEvent, CopiesCarryContentOnly) {
    KRVSequencer sequencer;
    KRVEvent copy(MarkedEvent(sequencer));
    EXPECT_EQ(copy.GetNote(), 50);
    EXPECT_EQ(copy.GetChannel(), 10);
    EXPECT_FALSE(copy.IsSelected() || copy.IsMuted() || copy.IsHSoloed() || copy.IsVSoloed());
}

TEST(KRVTrack, HSoloCountFollowsTheFlags) {
    KRVTrack track;
    track.HSolo(3);
    track.HSolo(3);
    track.HSolo(64);
    EXPECT_EQ(track.GetHSoloCount(), 2);
    track.HUnSolo(5);
    EXPECT_EQ(track.GetHSoloCount(), 2);
    track.HUnSolo(3);
    EXPECT_EQ(track.GetHSoloCount(), 1);
    EXPECT_TRUE(track.GetEvent(64).IsHSoloed());

    // A new track from a soloed one starts without solos; an assigned track
    // keeps its own solos and count.
    track.Mute();
    KRVTrack copy(track);
    EXPECT_EQ(copy.GetHSoloCount(), 0);
    EXPECT_FALSE(copy.GetEvent(64).IsHSoloed());
    EXPECT_TRUE(copy.IsMuted());
    KRVTrack target;
    target.HSolo(1);
    target = track;
    EXPECT_EQ(target.GetHSoloCount(), 1);
    EXPECT_TRUE(target.GetEvent(1).IsHSoloed());
    EXPECT_FALSE(target.GetEvent(64).IsHSoloed());
}

}  // namespace
