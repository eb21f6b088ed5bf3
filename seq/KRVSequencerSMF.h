#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KRVSMFReader.h"

class KRVEvent;
class KRVSequencer;
class KRVSMFWriter;
class KRVTextOutput;

// Writes the sequence to a Standard MIDI File and adds the tracks of one to
// it. Made on the stack for one command; every outcome is reported through
// the output, in the wording users and their scripts already know, with
// file statuses as numbers (0 success, -43 no such file, else -errno).
//
// Export is complete: the tempo, and every step of every track as a note,
// muted ones included. Import is lossy: it keeps the order of the notes of
// each file track and lays them on consecutive steps of a new track.
class KRVSequencerSMF {
public:
    // 100 file ticks to a sequencer tick: every step start and every gate
    // length (a whole percent of a whole number of ticks) is a whole tick.
    static constexpr std::uint16_t kFileTicksPerQuarterNote = 2400;

    KRVSequencerSMF(KRVSequencer* inSequencer, KRVTextOutput* inOutput);

    // Each says how it went and returns whether the file was written, or
    // read and its tracks added.
    bool Export(const char* inFileName);
    bool Import(const char* inFileName);

private:
    void AddSteps(int inTrack1, int inFileTrack0, KRVSMFWriter* ioWriter) const;
    void CheckExportPath(const char* inFileName) const;
    double GetTempo(const KRVSMFReader& inReader) const;
    void LoadTracks(const KRVSMFReader& inReader) const;
    int LoadTrack(const std::vector<KRVSMFNote>& inNotes) const;
    static void FillEvent(const KRVSMFNote& inNote, KRVEvent* outEvent);

    KRVSequencer* mSequencer;
    KRVTextOutput* mOutput;
};
