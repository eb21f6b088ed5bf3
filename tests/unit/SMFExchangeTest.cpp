// MIDI files as the user meets them: the tempo written is the tempo played,
// an import says what it could not keep, and failures are said in words.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KRVSMFWriter.h"
#include "KRVSequencer.h"
#include "TestShell.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The file's time division and its first tempo (from the tempo track that
// KRVSMFWriter always puts first).
void ReadTempo(const Bytes& inFile, double* outDivision, double* outMicroseconds) {
    *outDivision = inFile[12] << 8 | inFile[13];
    // MThd (14 bytes), MTrk and its length (8), delta 0, FF 51 03.
    *outMicroseconds = inFile[26] << 16 | inFile[27] << 8 | inFile[28];
}

class SMFExchangeTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/krv-smfx-XXXXXX";
        mFolder = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(mFolder); }

    std::string Path(const char* inName) { return mFolder + "/" + inName; }

    std::string mFolder;
};

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

}  // namespace
