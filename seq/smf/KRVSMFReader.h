#pragma once

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One note-on of a Standard MIDI File track: where it starts (in the file's
// own ticks, from the start of its track), how long it lasts and what it
// plays.
struct KRVSMFNote {
    std::uint64_t mTick = 0;
    // Ticks to its note-off; a note never ended lasts to the end of its track.
    std::uint64_t mLength = 0;
    std::uint8_t mChannel = 0;  // 0 to 15, as in the status byte
    std::uint8_t mNote = 0;
    std::uint8_t mVelocity = 0;
};

// A tempo event: from its tick on, a quarter note lasts this long.
struct KRVSMFTempo {
    std::uint64_t mTick = 0;
    std::uint32_t mMicrosecondsPerQuarterNote = 500000;
};

// Reads a Standard MIDI File (format 0, 1 or 2, any time division) that is
// already in memory and keeps what an import needs: the notes of every
// track in file order with their lengths, the time division and the tempo
// events.
//
// The input is untrusted: every length and offset is checked against the
// chunk that holds it before it is used, every loop consumes input, and no
// allocation depends on a length read from the file, so a malformed file
// ends in one of the negative statuses below, never in a crash or a hang.
// What is kept grows with the events read, each a few bytes of the file.
class KRVSMFReader {
public:
    static constexpr int kNotAMIDIFile = -ENOEXEC;
    static constexpr int kTruncated = -ENODATA;
    static constexpr int kBadVariableLength = -EILSEQ;
    static constexpr int kBadEvent = -EBADMSG;
    static constexpr int kNoTracks = -ENOMSG;
    // Enough for any tempo map a person or program makes.
    static constexpr std::size_t kMaxTempos = 65536;

    // Keeps at most inMaxNotesPerTrack notes of each track (at least 1);
    // later notes are parsed and dropped.
    explicit KRVSMFReader(std::size_t inMaxNotesPerTrack);

    // 0, or one of the statuses above. On failure nothing read is kept.
    int Parse(const std::uint8_t* inData, std::size_t inSize);
    // Words for a status of Parse.
    static std::string Describe(int inStatus);

    int GetFormat() const { return mFormat; }
    // The header's time division as written: ticks a quarter note, or with
    // the top bit set, SMPTE frames a second (negated) and ticks a frame.
    std::uint16_t GetDivision() const { return mDivision; }
    // The tracks an import lays out. A format-1 file's first track is its
    // tempo map and is left out unless it plays notes.
    int GetTrackCount() const { return static_cast<int>(mTracks.size()); }
    const std::vector<KRVSMFNote>& GetNotes(int inTrack0) const { return mTracks[inTrack0]; }
    // All the track's notes, those beyond what is kept included.
    std::uint64_t GetNoteCount(int inTrack0) const { return mNoteCounts[inTrack0]; }
    // Events that play something an import cannot keep: controllers,
    // program changes but the first of each channel, pressure, pitch bends
    // and system-exclusive messages.
    std::uint64_t GetSkippedEventCount() const;
    // The program (0 to 127) of the channel's earliest program change in
    // any track, the first in the file at one tick; -1 where it has none.
    int GetProgram(int inChannel0) const { return mPrograms[inChannel0 & 0x0F].mProgram; }
    // Tempo events after the first.
    std::uint64_t GetLaterTempoCount() const { return mLaterTempos; }
    bool HasTempo() const { return mTempoFound; }
    // The earliest tempo event of the file, in beats per minute of its
    // quarter note; krv's exact tempo where its own export noted one that
    // still holds (see KRVSMFExactTempo.h).
    double GetBPM() const {
        return mExactBPM > 0.0 ? mExactBPM : 60000000.0 / mMicrosecondsPerQuarterNote;
    }
    // The earliest tempo event's own quarter note.
    std::uint32_t GetFirstMicroseconds() const { return mMicrosecondsPerQuarterNote; }
    // Ticks a quarter note of the file's tempo: krv's own where its exact
    // tempo holds (the tempo events then time krv's longer or shorter
    // quarter note), else the division.
    std::uint16_t GetQuarterNoteTicks() const {
        return mExactBPM > 0.0 ? mExactTicksPerQuarterNote : mDivision;
    }
    // Every usable tempo event of every track in file order, at most
    // kMaxTempos of them.
    const std::vector<KRVSMFTempo>& GetTempos() const { return mTempos; }

private:
    int ReadHeader(int* outTrackCount);
    int ReadTrack();
    int ReadEvent(std::vector<KRVSMFNote>* ioNotes);
    int ReadChannelMessage(std::uint8_t inStatus, std::vector<KRVSMFNote>* ioNotes);
    int ReadMetaEvent();
    int ReadSizedData(const std::uint8_t** outData, std::uint32_t* outLength);
    int ReadVariableLength(std::uint32_t* outValue);
    std::uint32_t ReadBigEndian(int inByteCount);
    void KeepTempo(const std::uint8_t* inData);
    void KeepExactTempo(const std::uint8_t* inData);
    void TrustExactTempo();
    void KeepProgram(std::uint8_t inChannel, std::uint8_t inProgram);
    void StartNote(int inKey, std::size_t inIndex);
    void EndNote(std::uint8_t inChannel, std::uint8_t inNote, std::vector<KRVSMFNote>* ioNotes);
    void EndTrack(std::vector<KRVSMFNote>* ioNotes);
    void Reset();

    const std::size_t mMaxNotesPerTrack;
    const std::uint8_t* mData = nullptr;
    std::size_t mSize = 0;
    std::size_t mPosition = 0;
    // Where the chunk being read ends; nothing is read at or beyond it.
    std::size_t mChunkEnd = 0;
    std::uint64_t mTick = 0;
    std::uint8_t mRunningStatus = 0;
    bool mTrackEnded = false;
    int mFormat = 0;
    std::uint16_t mDivision = 0;
    bool mTempoFound = false;
    std::uint64_t mTempoTick = 0;
    std::uint32_t mMicrosecondsPerQuarterNote = 500000;
    double mExactBPM = 0.0;
    std::uint16_t mExactTicksPerQuarterNote = 0;
    std::vector<KRVSMFTempo> mTempos;
    // The kept notes of the track being read that still sound, by channel
    // and note (channel << 7 | note), earliest first: a note-off ends the
    // earliest. Each key's notes are a queue linked through mNextSounding
    // (by index in the track's notes), so that notes allocate nothing of
    // their own; the keys started in a track are listed for its end.
    struct SoundingQueue {
        std::size_t mFirst = kNoNote;
        std::size_t mLast = kNoNote;
    };
    static constexpr std::size_t kNoNote = static_cast<std::size_t>(-1);
    std::vector<SoundingQueue> mSounding;
    std::vector<std::size_t> mNextSounding;
    std::vector<std::uint16_t> mSoundingKeys;
    std::vector<std::vector<KRVSMFNote>> mTracks;
    std::vector<std::uint64_t> mNoteCounts;
    std::uint64_t mNoteCount = 0;
    std::uint64_t mSkippedEvents = 0;
    std::uint64_t mLaterTempos = 0;
    struct Program {
        int mProgram = -1;
        std::uint64_t mTick = 0;
    };
    std::array<Program, 16> mPrograms;
    std::uint64_t mProgramChanges = 0;
};
