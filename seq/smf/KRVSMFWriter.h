#pragma once

#include <cerrno>
#include <cstdint>
#include <vector>

#include "smf/KRVSMFExactTempo.h"

// Builds a format-1 Standard MIDI File in memory: a tempo track holding one
// tempo at time 0, then one track of notes per AddTrack. Times are in the
// file's ticks at the resolution given to the constructor.
//
// A tempo event holds at most 0xFFFFFF microseconds a quarter note (3.58
// bpm) and only whole microseconds (0.02 % off near 25,000 bpm). Where one
// cannot hold the tempo closely, the file's quarter note is made longer or
// shorter than the sequencer's: its time division changes, the ticks do not,
// so every note keeps its time in seconds. The tempo track then also holds
// the exact tempo and the sequencer's quarter note in a sequencer-specific
// event (see KRVSMFExactTempo.h) for krv's own import.
class KRVSMFWriter {
public:
    // A file names its tracks in 16 bits, and the tempo track is one of them.
    static constexpr int kMaxNoteTracks = 65534;
    static constexpr int kOutOfRange = -ERANGE;

    explicit KRVSMFWriter(std::uint16_t inTicksPerQuarterNote);

    // 0, or kOutOfRange when the tempo was beyond what a file holds (below
    // about 0.0015 bpm at 2,400 ticks a quarter note) and the nearest one
    // was written instead.
    int SetTempo(double inBPM);
    // The tempo the file plays at, in quarter notes of the constructor's
    // resolution a minute.
    double GetWrittenBPM() const;
    // The new track's 0-based index, or kOutOfRange when the file is full.
    int AddTrack();
    int GetTrackCount() const { return static_cast<int>(mTracks.size()); }
    // inChannel is 0-based (0 to 15). An overlapping note (a legato one)
    // ends after the notes that start where it ends; others end before.
    void AddNote(int inTrack0, std::uint64_t inTick, std::uint64_t inDuration,
                 std::uint8_t inChannel, std::uint8_t inNote, std::uint8_t inVelocity,
                 bool inOverlaps = false);
    // A program change at the track's start, before its first note.
    void AddProgramChange(int inTrack0, std::uint8_t inChannel, std::uint8_t inProgram);
    // A track lasts at least until inTick, so that other programs looping
    // it keep the length of the pattern.
    void ExtendTrack(int inTrack0, std::uint64_t inTick);

    std::vector<std::uint8_t> Encode() const;

private:
    // Messages at one tick go out in this order: programs, so that the
    // notes sound on them, then the ends of notes begun earlier, so a
    // repeated pitch is not cut off by its own predecessor, then the
    // starts, then the ends of notes of no length and of legato ones.
    enum Order { kProgramChange, kEndOfEarlierNote, kStartOfNote, kEndOfEmptyNote };
    struct Message {
        std::uint64_t mTick;
        Order mOrder;
        std::uint8_t mBytes[3];
        std::uint8_t mLength = 3;
    };
    struct Track {
        std::vector<Message> mMessages;
        std::uint64_t mEndTick = 0;
    };

    static void AppendChunk(const char* inType, const std::vector<std::uint8_t>& inBody,
                            std::vector<std::uint8_t>* ioFile);
    static void AppendDelta(std::uint64_t inDelta, std::vector<std::uint8_t>* ioBody);
    static void AppendVariableLength(std::uint32_t inValue, std::vector<std::uint8_t>* ioBody);
    static void AppendBigEndian(std::uint32_t inValue, int inByteCount,
                                std::vector<std::uint8_t>* ioBytes);
    std::vector<std::uint8_t> EncodeTempoTrack() const;
    void AppendExactTempo(std::vector<std::uint8_t>* ioBody) const;
    static std::vector<std::uint8_t> EncodeNoteTrack(const Track& inTrack);

    std::uint16_t mTicksPerQuarterNote;
    // The file's own quarter note: its time division and tempo.
    std::uint16_t mDivision;
    std::uint32_t mMicrosecondsPerQuarterNote = 500000;
    // The tempo asked for, 0 when no file holds it.
    double mExactBPM = 0.0;
    std::vector<Track> mTracks;
};
