#pragma once

#include <cstdint>
#include <vector>

class KRVSMFReader;

// Where a Standard MIDI File's ticks fall in the sequencer's ticks, by the
// file's time division and tempo map.
//
// The sequencer plays at one tempo: the reference, the file's first tempo
// (the one an import gives an empty sequence), or the sequencer's own when
// the file has none. A file at one tempo maps beat for beat whatever the
// reference; where its tempo changes, its later notes keep their times in
// seconds, as the sequencer plays them at the reference tempo. Ticks of an
// SMPTE division are fractions of a second, and tempo events do not change
// them.
class KRVSMFTimeMap {
public:
    KRVSMFTimeMap(const KRVSMFReader& inReader, double inSequencerBPM);

    // False for a division of 0 ticks, or 0 frames a second, which gives
    // ticks no length.
    bool IsUsable() const { return mUsable; }
    double GetReferenceBPM() const { return mReferenceBPM; }
    // A tick of the file, counted from its start, in sequencer ticks.
    double ToSequencerTicks(std::uint64_t inFileTick) const;

private:
    // From mFileTick on, each file tick lasts mScale sequencer ticks.
    struct Segment {
        std::uint64_t mFileTick;
        double mSequencerTick;
        double mScale;
    };

    void AddQuarterNoteSegments(const KRVSMFReader& inReader, double inTicksPerQuarterNote);

    bool mUsable = true;
    double mReferenceBPM;
    // The reference's quarter note in the file's tempo events.
    double mReferenceMicroseconds;
    std::vector<Segment> mSegments;
};
