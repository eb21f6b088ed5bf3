#include <bit>
#include <cmath>

#include "TestShell.h"
#include "smf/KRVSMFReader.h"
#include "smf/KRVSMFTimeMap.h"
#include "smf/KRVSMFTimedLayout.h"

namespace {

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
    RunShell(original, "exportsmf " + Path("grid.mid") + "\n");
    // An empty sequence takes the file's tempo.
    KRVSequencer copy;
    copy.SetScale(4, 64);
    RunShell(copy, "importsmf " + Path("grid.mid") + "\n");
    EXPECT_EQ(copy.GetBPM(), 125.0);
    ASSERT_EQ(copy.GetTrackCount(), 3);
    for (int track1 = 1; track1 <= 3; track1++) {
        for (int step1 = 1; step1 <= 64; step1++) {
            const KRVEvent& was = original.GetEvent(track1, step1);
            const KRVEvent& is = copy.GetEvent(track1, step1);
            SCOPED_TRACE("track " + std::to_string(track1) + " step " + std::to_string(step1));
            EXPECT_EQ(std::tuple(is.GetNote(), is.GetVelocity(), is.GetChannel(), is.GetGateTime()),
                      std::tuple(was.GetNote(), std::max<int>(was.GetVelocity(), 1),
                                 was.GetChannel(), 50));
        }
    }
}

TEST_F(SMFTest, ReaderChecksEveryLengthAndSkipsWhatItDoesNotNeed) {
    struct Case {
        const char* mName;
        Bytes mBytes;
        int mStatus;
        std::size_t mNotes;
    };
    const Bytes good = {0, 0x90, 60, 100, 0, 0xFF, 0x2F, 0};
    Bytes truncated = SMFFile(0, {good});
    truncated.pop_back();
    // An SMPTE time division, a longer header and an unknown chunk.
    Bytes unusual = SMFChunk("MThd", {0, 0, 0, 1, 0xE7, 40, 0, 0});
    for (const Bytes& chunk : {SMFChunk("XFIH", {1}), SMFChunk("MTrk", good)}) {
        unusual.insert(unusual.end(), chunk.begin(), chunk.end());
    }
    Bytes format3 = SMFFile(1, {good});
    format3[9] = 3;
    Bytes fewer = SMFFile(1, {good, good});
    fewer[11] = 3;
    auto track = [](const Bytes& inBody) { return SMFFile(0, {inBody}); };
    using Reader = KRVSMFReader;
    const Case cases[] = {
        {"unusual but sound", unusual, 0, 1},
        {"running status kept over meta and sysex",
         track({0, 0x93, 1, 1, 0, 0xFF, 1, 0, 0, 2, 2, 0, 0xF7, 0, 0, 3, 3}), 0, 3},
        {"not a MIDI file",
         {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'},
         Reader::kNotAMIDIFile,
         0},
        {"short header", SMFChunk("MThd", {0, 0, 0, 1}), Reader::kNotAMIDIFile, 0},
        {"format 3", format3, Reader::kNotAMIDIFile, 0},
        {"truncated chunk", truncated, Reader::kTruncated, 0},
        {"fewer tracks than declared", fewer, Reader::kTruncated, 0},
        {"meta length past the end", track({0, 0xFF, 1, 9, 'a'}), Reader::kBadEvent, 0},
        {"sysex length past the end", track({0, 0xF0, 0x8F, 0x7F}), Reader::kBadEvent, 0},
        {"note past the end", track({0, 0x90, 60}), Reader::kBadEvent, 0},
        {"data byte without status", track({0, 60, 100}), Reader::kBadEvent, 0},
        {"status byte as data", track({0, 0x90, 60, 0x90}), Reader::kBadEvent, 0},
        {"system message", track({0, 0xF2, 1, 1}), Reader::kBadEvent, 0},
        {"bad variable-length number", track({0x81, 0x82, 0x83, 0x84, 0x05, 0x90, 60, 1}),
         Reader::kBadVariableLength, 0},
        {"no tracks", SMFFile(1, {}), Reader::kNoTracks, 0},
    };
    for (const Case& testCase : cases) {
        KRVSMFReader reader(64);
        EXPECT_EQ(reader.Parse(testCase.mBytes.data(), testCase.mBytes.size()), testCase.mStatus)
            << testCase.mName;
        std::size_t notes = reader.GetTrackCount() == 1 ? reader.GetNotes(0).size() : 0;
        EXPECT_EQ(notes, testCase.mNotes) << testCase.mName;
    }

    // A bad file and a file too large to read change nothing; a file without
    // a tempo leaves the sequence's.
    KRVSequencer sequencer;
    sequencer.SetBPM(97);
    std::filesystem::resize_file(Save("huge.mid", {}), 64 * 1024 * 1024 + 1);
    EXPECT_EQ(RunShell(sequencer, "importsmf " + Save("bad.mid", truncated) + "\nimportsmf " +
                                      Path("huge.mid") + "\n"),
              "MusicSequenceLoadSMF returns -61\nkrv: can't read '" + Path("bad.mid") +
                  "': the file ends in the middle of a chunk\n"
                  "MusicSequenceLoadSMF returns -27\nkrv: can't read '" +
                  Path("huge.mid") + "': File too large\n");
    EXPECT_EQ(sequencer.GetTrackCount(), 0);
    RunShell(sequencer, "importsmf " + Save("notempo.mid", SMFFile(0, {good})) + "\n");
    EXPECT_EQ(sequencer.GetTrackCount(), 1);
    EXPECT_EQ(sequencer.GetBPM(), 97.0);
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

// inCount notes, each ended before the next starts.
Bytes Notes(int inCount) {
    std::vector<std::array<int, 3>> notes;
    for (int i = 0; i < inCount; i++) {
        notes.push_back({0, 40 + i % 40, 10});
    }
    return Notes(notes);
}

// What an export or import could not keep is said, after its tracks.
TEST_F(SMFTest, WhatCouldNotBeKeptIsSaid) {
    KRVSequencer slow;
    std::string said = RunShell(slow, "bpm 0.001\nnewtrack\nexportsmf " + Path("slow.mid"));
    EXPECT_NE(said.find("MusicTrackNewExtendedTempoEvent returns -34\nkrv: a MIDI file holds no "
                        "tempo this slow; it plays at 0.001490 bpm\n"),
              std::string::npos)
        << said;

    // An import keeps notes only, as many as the grid has steps and tracks
    // as the sequence has room for.
    Bytes tempoMap = {0,    0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 96,   0xFF, 0x51, 3,
                      0x0F, 0x42, 0x40, 0, 0xFF, 0x58, 4,    4,    2,    24,   8,
                      0,    0xF0, 2,    1, 0xF7, 0,    0xFF, 0x2F, 0};
    Bytes controls = {0, 0xB0, 7, 100, 0, 0xC0, 5, 0, 0xE0, 0, 64, 0, 0xD0, 9, 0, 0xA0, 60, 9};
    Bytes played = Notes(70);
    played.insert(played.begin(), controls.begin(), controls.end());
    std::string file =
        Save("busy.mid", SMFFile(1, {tempoMap, played, Notes(3), Notes(0), Notes(20)}));
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

TEST_F(SMFTest, TimedNotesKeepTheirTimesThroughTempoChangesAndSMPTETime) {
    // Quarter notes at 96 ticks a quarter, each half a beat long; from the
    // third on the tempo halves, so they come two beats apart.
    Bytes tempos = {0,    0xFF, 0x51, 3,    0x07, 0xA1, 0x20, 0x81, 0x40, 0xFF,
                    0x51, 3,    0x0F, 0x42, 0x40, 0,    0xFF, 0x2F, 0};
    std::string file =
        Save("slower.mid",
             SMFFile(1, {tempos, Notes({{0, 60, 48}, {48, 62, 48}, {48, 64, 48}, {48, 65, 48}})}));
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
                SMFFile(0, {Notes({{0, 60, 250}, {250, 62, 250}, {250, 64, 250}, {1750, 65, 250}})},
                        0xE7, 40));
    sequencer.SetBPM(60);
    sequencer.SetScale(1, 8);
    RunShell(sequencer, "importsmf " + file + " timed\n");
    ASSERT_EQ(sequencer.GetTrackCount(), 2);
    EXPECT_EQ(sequencer.GetBPM(), 60.0);
    EXPECT_EQ(Played(sequencer, 2), "1:60/50 2:62/50 3:64/50 7:65/50 ");
}

TEST_F(SMFTest, TimedImportSaysWhatFindsNoRoomAndRefusesUselessTime) {
    // A chord on channel 1 and a drum beyond the last step, in format 0.
    Bytes body = {0, 0x90, 64, 90, 0, 60, 91, 0, 67, 92, 6, 0x99, 36, 100, 0x83, 0x60, 36, 101};
    body.insert(body.end(), {0, 0xFF, 0x2F, 0});
    std::string file = Save("chord.mid", SMFFile(0, {body}, 0, 24));
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
        file = Save("untimed.mid", SMFFile(0, {body}, division[0], division[1]));
        EXPECT_EQ(RunShell(sequencer, "importsmf " + file + " timed\n"),
                  "krv: can't place the notes of '" + file +
                      "' by time: its time division gives ticks no length\n");
    }
    EXPECT_EQ(sequencer.GetTrackCount(), 1024);

    // Notes past what a file track is read to are said to be unread, not
    // dropped beyond the grid.
    std::vector<std::array<int, 3>> many(KRVSMFTimedLayout::kMaxNotesPerTrack + 8, {1, 60, 0});
    file = Save("many.mid", SMFFile(0, {Notes(many)}, 0, 96));
    KRVSequencer empty;
    const std::string unread =
        "7821 dropped beyond step 16, 8 not read, a file track is read to 8192 notes\n";
    EXPECT_EQ(
        RunShell(empty, "importsmf " + file + " timed\n"),
        "file track 1: 371 notes on tracks 1 to 24, " + unread + "24 tracks, 371 notes, " + unread);
}

// A note placed by its time lands on the step nearest its start, whatever
// that time is: random starts anywhere on the grid, and past it.
TEST(SMFTimedLayout, EveryNoteLandsOnTheStepNearestItsStart) {
    const Bytes file = SMFFile(0, {{0, 0xFF, 0x2F, 0}});
    KRVSMFReader reader(16);
    ASSERT_EQ(reader.Parse(file.data(), file.size()), 0);
    const KRVSMFTimeMap map(reader, 120);
    constexpr int kTicksPerStep = 6;
    constexpr int kSteps = 16;
    std::mt19937 random(28);
    std::uniform_int_distribution<std::uint64_t> tick(0, 96 * 5);
    for (int i = 0; i < 300; i++) {
        const KRVSMFNote note{tick(random), 10, 0, 60, 100};
        SCOPED_TRACE("tick " + std::to_string(note.mTick));
        KRVSMFTimedLayout layout(map, kTicksPerStep, kSteps);
        const std::vector<KRVSMFTimedLayout::Laid> laid = layout.Lay({note});
        const double start = map.ToSequencerTicks(note.mTick);
        if (start >= (kSteps - 0.5) * kTicksPerStep) {
            EXPECT_TRUE(laid.empty() && layout.GetDroppedCount() == 1u);
            continue;
        }
        ASSERT_EQ(laid.size(), 1u);
        // The one step of the grid that is not silent.
        const std::uint64_t sounding = ~laid[0].mSilentSteps & ((std::uint64_t(1) << kSteps) - 1);
        ASSERT_EQ(std::popcount(sounding), 1);
        EXPECT_LE(std::abs(start - std::countr_zero(sounding) * kTicksPerStep),
                  kTicksPerStep / 2.0);
    }
}

// A note-off ends the earliest note of its key; a note never ended lasts
// to the end of its track.
TEST(SMFReaderLengths, NoteOffsEndTheEarliestOfTheirKey) {
    Bytes body = {0, 0x90, 60, 1, 10, 60, 2, 10, 60, 0, 30, 0x80, 60, 0, 10, 0x90, 62, 3};
    body.insert(body.end(), {40, 0xFF, 0x2F, 0});
    Bytes file = SMFFile(0, {body});
    KRVSMFReader reader(64);
    ASSERT_EQ(reader.Parse(file.data(), file.size()), 0);
    std::vector<std::uint64_t> lengths;
    for (const KRVSMFNote& note : reader.GetNotes(0)) {
        lengths.push_back(note.mLength);
    }
    EXPECT_EQ(lengths, (std::vector<std::uint64_t>{20, 40, 40}));
}

}  // namespace
