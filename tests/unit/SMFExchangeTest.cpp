// MIDI files as the user meets them: the tempo written is the tempo played,
// an import says what it could not keep, and failures are said in words.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Harness.h"
#include "KRVSMFWriter.h"
#include "KRVSequencer.h"
#include "TestShell.h"

namespace {

// A format-1 file at 96 ticks a quarter note of the given track bodies.
Bytes File(const std::vector<Bytes>& inTracks) {
    Bytes file = SMFChunk("MThd", {0, 1, 0, std::uint8_t(inTracks.size()), 0, 96});
    for (const Bytes& track : inTracks) {
        Bytes chunk = SMFChunk("MTrk", track);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

// inCount notes, each ended before the next starts.
Bytes Notes(int inCount) {
    Bytes body;
    for (int i = 0; i < inCount; i++) {
        body.insert(body.end(), {0, 0x90, std::uint8_t(40 + i % 40), 100, 10, 0x80, 40, 0});
    }
    body.insert(body.end(), {0, 0xFF, 0x2F, 0});
    return body;
}

// The file's time division and its first tempo (from the tempo track that
// KRVSMFWriter always puts first).
void ReadTempo(const Bytes& inFile, double* outDivision, double* outMicroseconds) {
    *outDivision = inFile[12] << 8 | inFile[13];
    // MThd (14 bytes), MTrk and its length (8), delta 0, FF 51 03.
    *outMicroseconds = inFile[26] << 16 | inFile[27] << 8 | inFile[28];
}

class SMFExchangeTest : public ScratchTest {};

// One tempo event cannot say 1 bpm, nor 24,995 bpm to the microsecond; the
// file's quarter note then changes so that its ticks last what the
// sequencer's do. Ordinary tempos keep the sequencer's quarter note.
TEST(SMFTempo, EveryUsableTempoIsPlayedAsSet) {
    for (double bpm : {1.0, 2.5, 3.5, 3.6, 60.0, 120.0, 133.3333333, 9999.9, 24995.0, 25000.0}) {
        KRVSMFWriter writer(2400);
        EXPECT_EQ(writer.SetTempo(bpm), 0) << bpm;
        double division = 0.0;
        double microseconds = 0.0;
        ReadTempo(writer.Encode(), &division, &microseconds);
        double played = 60000000.0 * division / (microseconds * 2400);
        EXPECT_NEAR(played / bpm, 1.0, 1e-4) << bpm;
        EXPECT_NEAR(writer.GetWrittenBPM() / bpm, 1.0, 1e-4) << bpm;
        if (bpm == 120.0) {
            EXPECT_EQ(division, 2400);
            EXPECT_EQ(microseconds, 500000);
        }
    }
    KRVSMFWriter writer(2400);
    EXPECT_EQ(writer.SetTempo(0.001), KRVSMFWriter::kOutOfRange);
    EXPECT_NEAR(writer.GetWrittenBPM(), 60000000.0 / 0xFFFFFF / 2400, 1e-9);
}

TEST_F(SMFExchangeTest, ATempoNoFileHoldsIsSaid) {
    KRVSequencer sequencer;
    std::string said = RunShell(sequencer, "bpm 0.001\nnewtrack\nexportsmf " + Path("slow.mid"));
    EXPECT_NE(said.find("MusicTrackNewExtendedTempoEvent returns -34\nkrv: a MIDI file holds no "
                        "tempo this slow; it plays at 0.001490 bpm\n"),
              std::string::npos)
        << said;
}

// An import keeps notes only, as many as the grid has steps and tracks as
// the sequence has room for; it counts what it leaves, after its tracks.
TEST_F(SMFExchangeTest, ImportSaysWhatItCouldNotKeep) {
    Bytes tempoMap = {0,    0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 96,   0xFF, 0x51, 3,
                      0x0F, 0x42, 0x40, 0, 0xFF, 0x58, 4,    4,    2,    24,   8,
                      0,    0xF0, 2,    1, 0xF7, 0,    0xFF, 0x2F, 0};
    Bytes controls = {0, 0xB0, 7, 100, 0, 0xC0, 5, 0, 0xE0, 0, 64, 0, 0xD0, 9, 0, 0xA0, 60, 9};
    Bytes played = Notes(70);
    played.insert(played.begin(), controls.begin(), controls.end());
    std::string file = Save("busy.mid", File({tempoMap, played, Notes(3), Notes(0), Notes(20)}));
    KRVSequencer sequencer;
    for (int track1 = 1; track1 <= KRVSequencer::kMaxTracks - 2; track1++) {
        sequencer.AddTrack(KRVTrack());
    }
    EXPECT_EQ(RunShell(sequencer, "importsmf " + file + "\n"),
              "KRVShell: found tempo event for 120.000000 bpm\nport 0 channel 1 program 6\n"
              "KRVShell: 4 tracks in sequence\nloaded track 1023\nloaded track 1024\n"
              "krv: 1 tracks left out, a sequence holds 1024 at most\n"
              "krv: 54 notes beyond step 16 left out\n"
              "krv: 5 events skipped that are not notes (controllers, program changes, pressure, "
              "pitch bends, system exclusive)\n"
              "krv: 1 tempo changes skipped, the first tempo is the one\n");
    EXPECT_EQ(sequencer.GetEvent(1023, 16).GetNote(), 55);
    EXPECT_EQ(sequencer.GetEvent(1024, 3).GetNote(), 42);

    // A file that imports whole says nothing more.
    KRVSequencer empty;
    EXPECT_EQ(RunShell(empty, "importsmf " + Save("plain.mid", File({Notes(16)})) + "\n"),
              "KRVShell: 1 tracks in sequence\nloaded track 1\n");
}

TEST_F(SMFExchangeTest, FailuresAreSaidInWords) {
    KRVSequencer sequencer;
    std::string said = RunShell(sequencer, "importsmf " + Path("none.mid") + "\nimportsmf " +
                                               Save("text.mid", {'h', 'i', '\n'}) + "\n");
    EXPECT_EQ(said, "FSPathMakeRef returns -43\nkrv: can't read '" + Path("none.mid") +
                        "': No such file or directory\nMusicSequenceLoadSMF returns -8\n"
                        "krv: can't read '" +
                        Path("text.mid") + "': not a Standard MIDI File\n");
    said = RunShell(sequencer, "newtrack\nexportsmf /dev/null\n");
    EXPECT_NE(said.find("MusicSequenceSaveSMF returns -22\nkrv: can't write '/dev/null': not a "
                        "regular file\n"),
              std::string::npos)
        << said;
}

}  // namespace
