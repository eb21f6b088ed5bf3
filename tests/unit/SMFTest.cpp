#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Harness.h"
#include "KRVSMFReader.h"
#include "KRVSMFWriter.h"
#include "KRVSequencer.h"
#include "TestShell.h"

namespace {

// A header of the given format and track count at 96 ticks per quarter note,
// followed by the given chunks.
Bytes File(int inFormat, int inTracks, std::vector<Bytes> inChunks) {
    Bytes file = SMFChunk("MThd", {0, std::uint8_t(inFormat), 0, std::uint8_t(inTracks), 0, 96});
    for (const Bytes& chunk : inChunks) {
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

class SMFTest : public ScratchTest {};

TEST_F(SMFTest, FullGridSurvivesExportAndImport) {
    KRVSequencer original;
    original.SetScale(4, 64);
    original.SetBPM(125);
    for (int track1 = 1; track1 <= 3; track1++) {
        original.AddTrack(KRVTrack());
        for (int step1 = 1; step1 <= 64; step1++) {
            original.SetNote(track1, step1, (track1 * 41 + step1 * 7) % 128);
            original.SetVelocity(track1, step1, 1 + (track1 + step1 * 5) % 127);
            original.SetChannel(track1, step1, 1 + (track1 + step1) % 16);
            original.SetGateTime(track1, step1, step1 % 91);
        }
    }
    original.Mute(2, 5);
    // A note-on of velocity 0 would vanish from the file and shift every
    // later note one step forward; it is written with velocity 1.
    original.SetVelocity(3, 9, 0);
    std::string file = Path("grid.mid");
    EXPECT_EQ(RunShell(original, "exportsmf " + file + "\n"),
              "MusicTrackNewExtendedTempoEvent returns 0\n"
              "FSPathMakeRef (" +
                  file +
                  ") returns -43\n"
                  "FSGetCatalogInfo returns 0\nMusicSequenceSaveSMF returns 0\n");

    KRVSequencer copy;
    copy.SetScale(4, 64);
    EXPECT_EQ(RunShell(copy, "importsmf " + file + "\n"),
              "KRVShell: found tempo event for 125.000000 bpm\n"
              "KRVShell: 3 tracks in sequence\nloaded track 1\nloaded track 2\nloaded track 3\n");
    EXPECT_EQ(copy.GetBPM(), 125.0);
    ASSERT_EQ(copy.GetTrackCount(), 3);
    for (int track1 = 1; track1 <= 3; track1++) {
        for (int step1 = 1; step1 <= 64; step1++) {
            const KRVEvent& was = original.GetEvent(track1, step1);
            const KRVEvent& is = copy.GetEvent(track1, step1);
            SCOPED_TRACE("track " + std::to_string(track1) + " step " + std::to_string(step1));
            EXPECT_EQ(is.GetNote(), was.GetNote());
            EXPECT_EQ(is.GetVelocity(), std::max<int>(was.GetVelocity(), 1));
            EXPECT_EQ(is.GetChannel(), was.GetChannel());
            EXPECT_EQ(is.GetGateTime(), 50);
            EXPECT_EQ(is.GetPort(), 0);
        }
    }
}

TEST_F(SMFTest, StepsFarApartKeepTheirTimes) {
    // Steps of 33,554,430 ticks: each gap is more than one delta can hold.
    KRVSequencer sequencer;
    ASSERT_TRUE(sequencer.SetScale(22369620, 64));
    sequencer.AddTrack(KRVTrack());
    std::string file = Path("long.mid");
    RunShell(sequencer, "exportsmf " + file + "\n");
    Bytes bytes = Load(file);
    KRVSMFReader reader(64);
    ASSERT_EQ(reader.Parse(bytes.data(), bytes.size()), 0);
    ASSERT_EQ(reader.GetTrackCount(), 1);
    ASSERT_EQ(reader.GetNotes(0).size(), 64u);
    for (int step0 = 0; step0 < 64; step0++) {
        EXPECT_EQ(reader.GetNotes(0)[step0].mTick, step0 * 33554430ULL * 100);
    }
}

TEST_F(SMFTest, ImportLaysNotesOnConsecutiveSteps) {
    KRVSMFWriter writer(96);
    writer.SetTempo(100);
    int three = writer.AddTrack();
    for (int i = 0; i < 3; i++) {
        writer.AddNote(three, i * 96, 48, 2, 60 + i, 100 + i);
    }
    writer.AddTrack();  // no notes
    int forty = writer.AddTrack();
    for (int i = 0; i < 40; i++) {
        writer.AddNote(forty, i * 10, 5, 9, 20 + i, 90);
    }
    int chord = writer.AddTrack();
    for (int note : {64, 67, 72}) {
        writer.AddNote(chord, 0, 96, 0, note, 80);
    }
    std::string file = Save("lay.mid", writer.Encode());

    KRVSequencer sequencer;
    sequencer.AddTrack(KRVTrack());
    EXPECT_EQ(RunShell(sequencer, "importsmf " + file + "\n"),
              "KRVShell: found tempo event for 100.000000 bpm\n"
              "KRVShell: 4 tracks in sequence\nloaded track 2\nloaded track 3\nloaded track 4\n"
              "krv: 24 notes beyond step 16 left out\n");
    // A sequence that has tracks keeps its tempo.
    EXPECT_EQ(sequencer.GetBPM(), 120.0);
    ASSERT_EQ(sequencer.GetTrackCount(), 4);
    for (int step1 = 1; step1 <= 15; step1++) {
        const KRVEvent& event = sequencer.GetEvent(2, step1);
        int expected = std::min(step1, 3) - 1;
        EXPECT_EQ(event.GetNote(), 60 + expected) << step1;
        EXPECT_EQ(event.GetVelocity(), 100 + expected) << step1;
        EXPECT_EQ(event.GetChannel(), 3) << step1;
    }
    // The last step is not filled: it keeps the default event.
    EXPECT_EQ(sequencer.GetEvent(2, 16).GetNote(), 0);
    EXPECT_EQ(sequencer.GetEvent(2, 16).GetVelocity(), 64);
    EXPECT_EQ(sequencer.GetEvent(3, 1).GetNote(), 20);
    EXPECT_EQ(sequencer.GetEvent(3, 16).GetNote(), 35);
    EXPECT_EQ(sequencer.GetEvent(3, 16).GetChannel(), 10);
    EXPECT_EQ(sequencer.GetEvent(4, 2).GetNote(), 67);
    EXPECT_EQ(sequencer.GetEvent(4, 3).GetNote(), 72);
}

TEST_F(SMFTest, OnlyAnEmptySequenceTakesTheFilesTempo) {
    // Format 0, no tempo event: the sequence keeps the tempo it has.
    Bytes noteOn = {0, 0x90, 60, 100, 10, 60, 0, 0, 0xFF, 0x2F, 0};
    std::string noTempo = Save("notempo.mid", File(0, 1, {SMFChunk("MTrk", noteOn)}));
    KRVSequencer sequencer;
    sequencer.SetBPM(97);
    EXPECT_EQ(RunShell(sequencer, "importsmf " + noTempo + "\n"),
              "KRVShell: 1 tracks in sequence\nloaded track 1\n");
    EXPECT_EQ(sequencer.GetBPM(), 97.0);
}

TEST_F(SMFTest, ReaderChecksEveryLengthAndSkipsWhatItDoesNotNeed) {
    struct Case {
        const char* mName;
        Bytes mBytes;
        int mStatus;
        std::size_t mNotes;
    };
    Bytes goodTrack = SMFChunk("MTrk", {0, 0x90, 60, 100, 0, 0xFF, 0x2F, 0});
    Bytes truncated = File(0, 1, {goodTrack});
    truncated.pop_back();
    // An SMPTE time division, a longer header and an unknown chunk.
    Bytes unusual = SMFChunk("MThd", {0, 0, 0, 1, 0xE7, 40, 0, 0});
    for (const Bytes& chunk : {SMFChunk("XFIH", {1}), goodTrack}) {
        unusual.insert(unusual.end(), chunk.begin(), chunk.end());
    }
    using Reader = KRVSMFReader;
    const Case cases[] = {
        {"unusual but sound", unusual, 0, 1},
        {"running status kept over meta and sysex",
         File(0, 1,
              {SMFChunk("MTrk", {0, 0x93, 1, 1, 0, 0xFF, 1, 0, 0, 2, 2, 0, 0xF7, 0, 0, 3, 3})}),
         0, 3},
        {"not a MIDI file",
         {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'},
         Reader::kNotAMIDIFile,
         0},
        {"short header", SMFChunk("MThd", {0, 0, 0, 1}), Reader::kNotAMIDIFile, 0},
        {"format 3", File(3, 1, {goodTrack}), Reader::kNotAMIDIFile, 0},
        {"truncated chunk", truncated, Reader::kTruncated, 0},
        {"fewer tracks than declared", File(1, 3, {goodTrack, goodTrack}), Reader::kTruncated, 0},
        {"meta length past the end", File(0, 1, {SMFChunk("MTrk", {0, 0xFF, 1, 9, 'a'})}),
         Reader::kBadEvent, 0},
        {"sysex length past the end", File(0, 1, {SMFChunk("MTrk", {0, 0xF0, 0x8F, 0x7F})}),
         Reader::kBadEvent, 0},
        {"note past the end", File(0, 1, {SMFChunk("MTrk", {0, 0x90, 60})}), Reader::kBadEvent, 0},
        {"data byte without status", File(0, 1, {SMFChunk("MTrk", {0, 60, 100})}),
         Reader::kBadEvent, 0},
        {"status byte as data", File(0, 1, {SMFChunk("MTrk", {0, 0x90, 60, 0x90})}),
         Reader::kBadEvent, 0},
        {"system message", File(0, 1, {SMFChunk("MTrk", {0, 0xF2, 1, 1})}), Reader::kBadEvent, 0},
        {"bad variable-length number",
         File(0, 1, {SMFChunk("MTrk", {0x81, 0x82, 0x83, 0x84, 0x05, 0x90, 60, 1})}),
         Reader::kBadVariableLength, 0},
        {"no tracks", File(1, 0, {}), Reader::kNoTracks, 0},
    };
    for (const Case& testCase : cases) {
        KRVSMFReader reader(64);
        EXPECT_EQ(reader.Parse(testCase.mBytes.data(), testCase.mBytes.size()), testCase.mStatus)
            << testCase.mName;
        std::size_t notes = reader.GetTrackCount() == 1 ? reader.GetNotes(0).size() : 0;
        EXPECT_EQ(notes, testCase.mNotes) << testCase.mName;
    }

    // A bad file, a FIFO (opening it must not wait for a writer) and a file
    // too large to read change nothing.
    KRVSequencer sequencer;
    sequencer.SetBPM(97);
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    std::filesystem::resize_file(Save("huge.mid", {}), 64 * 1024 * 1024 + 1);
    EXPECT_EQ(RunShell(sequencer, "importsmf " + Save("bad.mid", truncated) + "\nimportsmf " +
                                      Path("fifo") + "\nimportsmf " + Path("huge.mid") + "\n"),
              "MusicSequenceLoadSMF returns -61\nkrv: can't read '" + Path("bad.mid") +
                  "': the file ends in the middle of a chunk\nMusicSequenceLoadSMF returns -22\n"
                  "krv: can't read '" +
                  Path("fifo") +
                  "': not a regular file\nMusicSequenceLoadSMF returns -27\nkrv: can't read '" +
                  Path("huge.mid") + "': File too large\n");
    EXPECT_EQ(sequencer.GetTrackCount(), 0);
    EXPECT_EQ(sequencer.GetBPM(), 97.0);
}

}  // namespace
