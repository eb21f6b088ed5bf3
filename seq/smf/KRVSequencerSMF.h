#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smf/KRVSMFReader.h"

class KRVEvent;
class KRVSequencer;
class KRVSMFTimedLayout;
class KRVSMFWriter;
class KRVTextOutput;

// Writes the sequence to a Standard MIDI File and adds the tracks of one to
// it. Made on the stack for one command; every outcome is reported through
// the output, in the wording users and their scripts already know, with
// file statuses as numbers (0 success, -43 no such file, else -errno).
//
// Each command has two forms. A plain export is complete: the tempo, and
// every step of every track as a note, muted ones included; a heard export
// writes what the first pass of the loop after a start plays, chances
// drawn, ratchets repeated and held notes held, timed as the clock plays
// it. A
// plain import keeps the order of the notes of each file track and lays
// them on consecutive steps of a new track; a timed import places them by
// their times (KRVSMFTimedLayout). Both imports add tracks after those the
// sequence has, give the file's tempo to an empty sequence only, and give
// port 0's channels the file's first program of each (exports write the
// programs of the channels each track plays on at its start).
class KRVSequencerSMF {
public:
    // 100 file ticks to a sequencer tick: every step start and every gate
    // length (a whole percent of a whole number of ticks) is a whole tick.
    static constexpr std::uint16_t kFileTicksPerQuarterNote = 2400;

    KRVSequencerSMF(KRVSequencer* inSequencer, KRVTextOutput* inOutput);

    // Each says how it went and returns whether the file was written, or
    // read and its tracks added.
    bool Export(const char* inFileName);
    bool ExportHeard(const char* inFileName);
    bool Import(const char* inFileName);
    bool ImportTimed(const char* inFileName);

private:
    // What an export writes of each track: every step, or what is heard.
    enum class Form { kEveryStep, kHeard };

    bool Export(const char* inFileName, Form inForm);
    void AddSteps(int inTrack1, int inFileTrack0, KRVSMFWriter* ioWriter) const;
    // inHeardSteps: bit step0 set where the first pass starts a note.
    void AddHeardSteps(int inTrack1, std::uint64_t inHeardSteps, int inFileTrack0,
                       KRVSMFWriter* ioWriter) const;
    void ReportHeard(const std::vector<std::uint64_t>& inHeard) const;
    void CheckExportPath(const char* inFileName) const;
    bool Read(const char* inFileName, KRVSMFReader* ioReader) const;
    void TakeTempo(const KRVSMFReader& inReader) const;
    void TakePrograms(const KRVSMFReader& inReader) const;
    double GetTempo(const KRVSMFReader& inReader) const;
    void LoadTracks(const KRVSMFReader& inReader) const;
    int LoadTrack(const std::vector<KRVSMFNote>& inNotes) const;
    static void FillEvent(const KRVSMFNote& inNote, KRVEvent* outEvent);
    // What a timed import did with a file track's notes: laid on tracks
    // (numbered from mFirstTrack1 on), dropped beyond the last step, or
    // left out with tracks that found no room.
    struct TimedCounts {
        int mTracks = 0;
        int mFirstTrack1 = 0;
        std::uint64_t mNotes = 0;
        std::uint64_t mDropped = 0;
        // Notes past what a file track is read to.
        std::uint64_t mUnread = 0;
        int mLeftOutTracks = 0;
        std::uint64_t mLeftOutNotes = 0;
    };
    TimedCounts LayTimedTrack(const KRVSMFReader& inReader, int inFileTrack0,
                              KRVSMFTimedLayout* ioLayout) const;
    void SayTimedTrack(int inFileTrack0, const TimedCounts& inCounts) const;
    void ReportSkippedEvents(const KRVSMFReader& inReader) const;
    // "1 note", "2 notes".
    static std::string Count(std::uint64_t inCount, const char* inNoun);

    KRVSequencer* mSequencer;
    KRVTextOutput* mOutput;
};
