// importsmf FILE timed on files other programs write: tempo maps and SMPTE
// time, what finds no room, and the note lengths the reader gives it.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "Harness.h"
#include "KRVSMFReader.h"
#include "KRVSequencer.h"
#include "TestShell.h"

namespace {

// A file of one header (format, division) and the given track bodies.
Bytes File(int inFormat, std::uint8_t inDivision0, std::uint8_t inDivision1,
           const std::vector<Bytes>& inTracks) {
    Bytes file = SMFChunk("MThd", {0, std::uint8_t(inFormat), 0, std::uint8_t(inTracks.size()),
                                   inDivision0, inDivision1});
    for (const Bytes& track : inTracks) {
        Bytes chunk = SMFChunk("MTrk", track);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

// A variable-length number of up to two bytes.
void AppendTime(int inTicks, Bytes* ioBody) {
    if (inTicks >= 0x80) {
        ioBody->push_back(std::uint8_t(0x80 | inTicks >> 7));
    }
    ioBody->push_back(std::uint8_t(inTicks & 0x7F));
}

// Notes one after another on channel 1 (delta, key, length) ending the track.
Bytes Notes(const std::vector<std::array<int, 3>>& inNotes) {
    Bytes body;
    for (const auto& [delta, key, length] : inNotes) {
        AppendTime(delta, &body);
        body.insert(body.end(), {0x90, std::uint8_t(key), 100});
        AppendTime(length, &body);
        body.insert(body.end(), {0x80, std::uint8_t(key), 0});
    }
    body.insert(body.end(), {0, 0xFF, 0x2F, 0});
    return body;
}

// The steps of a track that play, as "step:key/gate".
std::string Played(const KRVSequencer& inSequencer, int inTrack1) {
    std::string played;
    for (int step1 = 1; step1 <= inSequencer.GetStepCount(); step1++) {
        const KRVEvent& event = inSequencer.GetEvent(inTrack1, step1);
        if (!event.IsMuted()) {
            played += std::to_string(step1) + ":" + std::to_string(event.GetNote()) + "/" +
                      std::to_string(event.GetGateTime()) + " ";
        }
    }
    return played;
}

class SMFTimedTest : public ScratchTest {};

TEST_F(SMFTimedTest, NotesKeepTheirTimesThroughTempoChangesAndSMPTETime) {
    // Quarter notes at 96 ticks a quarter, each half a beat long; from the
    // third on the tempo halves, so they come two beats apart.
    Bytes tempos = {0,    0xFF, 0x51, 3,    0x07, 0xA1, 0x20, 0x81, 0x40, 0xFF,
                    0x51, 3,    0x0F, 0x42, 0x40, 0,    0xFF, 0x2F, 0};
    std::string file = Save(
        "slower.mid",
        File(1, 0, 96, {tempos, Notes({{0, 60, 48}, {48, 62, 48}, {48, 64, 48}, {48, 65, 48}})}));
    KRVSequencer sequencer;
    sequencer.SetScale(2, 8);
    sequencer.SetBPM(90);
    RunShell(sequencer, "importsmf " + file + " timed\n");
    EXPECT_EQ(sequencer.GetBPM(), 120.0);
    EXPECT_EQ(Played(sequencer, 1), "1:60/50 2:62/50 3:64/90 5:65/90 ");

    // 25 frames of 40 ticks a second, no tempo: at the sequence's 60 bpm a
    // second is a quarter note. Notes at 0, 0.5, 1 and 3 seconds, a quarter
    // of a second long, on eighth-note steps; the tracks there stay.
    file = Save("smpte.mid",
                File(0, 0xE7, 40,
                     {Notes({{0, 60, 250}, {250, 62, 250}, {250, 64, 250}, {1750, 65, 250}})}));
    sequencer.SetBPM(60);
    sequencer.SetScale(1, 8);
    RunShell(sequencer, "importsmf " + file + " timed\n");
    ASSERT_EQ(sequencer.GetTrackCount(), 2);
    EXPECT_EQ(sequencer.GetBPM(), 60.0);
    EXPECT_EQ(Played(sequencer, 2), "1:60/50 2:62/50 3:64/50 7:65/50 ");
}

TEST_F(SMFTimedTest, WhatFindsNoRoomIsSaidAndUselessTimeIsRefused) {
    // A chord on channel 1 and a drum beyond the last step, in format 0.
    Bytes body = {0, 0x90, 64, 90, 0, 60, 91, 0, 67, 92, 6, 0x99, 36, 100, 0x83, 0x60, 36, 101};
    body.insert(body.end(), {0, 0xFF, 0x2F, 0});
    std::string file = Save("chord.mid", File(0, 0, 24, {body}));
    KRVSequencer sequencer;
    for (int track1 = 1; track1 < KRVSequencer::kMaxTracks; track1++) {
        sequencer.AddTrack(KRVTrack());
    }
    EXPECT_EQ(RunShell(sequencer, "importsmf " + file + " timed\n"),
              "file track 1: 1 note on track 1024, 1 dropped beyond step 16, 3 tracks of 3 "
              "notes left out, a sequence holds 1024 at most\n"
              "1 track, 1 note, 1 dropped beyond step 16\n");
    // The lowest note of the chord, which never ends; the drum, 6 ticks on,
    // is on step 2 of a track of its own, one more that finds no room.
    EXPECT_EQ(Played(sequencer, 1024), "1:60/90 ");

    for (const Bytes& division : {Bytes{0, 0}, Bytes{0xE7, 0}}) {
        file = Save("untimed.mid", File(0, division[0], division[1], {body}));
        EXPECT_EQ(RunShell(sequencer, "importsmf " + file + " timed\n"),
                  "krv: can't place the notes of '" + file +
                      "' by time: its time division gives ticks no length\n");
    }
    EXPECT_EQ(sequencer.GetTrackCount(), 1024);
}

// A note-off ends the earliest note of its key; a note never ended lasts
// to the end of its track.
TEST(SMFReaderLengths, NoteOffsEndTheEarliestOfTheirKey) {
    Bytes body = {0, 0x90, 60, 1, 10, 60, 2, 10, 60, 0, 30, 0x80, 60, 0, 10, 0x90, 62, 3};
    body.insert(body.end(), {40, 0xFF, 0x2F, 0});
    Bytes file = File(0, 0, 96, {body});
    KRVSMFReader reader(64);
    ASSERT_EQ(reader.Parse(file.data(), file.size()), 0);
    std::vector<std::uint64_t> lengths;
    for (const KRVSMFNote& note : reader.GetNotes(0)) {
        lengths.push_back(note.mLength);
    }
    EXPECT_EQ(lengths, (std::vector<std::uint64_t>{20, 40, 40}));
}

}  // namespace
