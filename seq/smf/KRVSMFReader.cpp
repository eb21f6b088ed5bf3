#include "smf/KRVSMFReader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "smf/KRVSMFExactTempo.h"

namespace {
constexpr std::size_t kChunkHeaderLength = 8;
constexpr std::uint32_t kMinHeaderLength = 6;
constexpr int kMaxFormat = 2;
constexpr std::uint8_t kMetaEvent = 0xFF;
constexpr std::uint8_t kSysExEvent = 0xF0;
constexpr std::uint8_t kSysExContinuation = 0xF7;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint32_t kTempoLength = 3;
constexpr std::uint8_t kMetaSequencerSpecific = 0x7F;
// How near the file's own tempo must come to krv's exact one: the writer
// keeps it within 2e-5.
constexpr double kExactTempoTolerance = 1e-4;
// A sounding note's key: its channel and note.
constexpr std::size_t kSoundingKeys = 16 * 128;
}  // namespace

KRVSMFReader::KRVSMFReader(std::size_t inMaxNotesPerTrack)
    : mMaxNotesPerTrack(std::max<std::size_t>(inMaxNotesPerTrack, 1)), mSounding(kSoundingKeys) {}

std::string KRVSMFReader::Describe(int inStatus) {
    switch (inStatus) {
        case kNotAMIDIFile:
            return "not a Standard MIDI File";
        case kTruncated:
            return "the file ends in the middle of a chunk";
        case kBadVariableLength:
            return "a length or time in the file is too long to be read";
        case kBadEvent:
            return "the file holds an event that cannot be read";
        case kNoTracks:
            return "the file holds no tracks";
        default:
            return "the file cannot be read";
    }
}

void KRVSMFReader::Reset() {
    mFormat = 0;
    mDivision = 0;
    mTempos.clear();
    mTempoFound = false;
    mTempoTick = 0;
    mMicrosecondsPerQuarterNote = 500000;
    mExactBPM = 0.0;
    mExactTicksPerQuarterNote = 0;
    mTracks.clear();
    mNoteCounts.clear();
    mSkippedEvents = 0;
    mLaterTempos = 0;
    mPrograms.fill({});
    mProgramChanges = 0;
}

std::uint64_t KRVSMFReader::GetSkippedEventCount() const {
    std::uint64_t kept = 0;
    for (const Program& program : mPrograms) {
        kept += program.mProgram >= 0 ? 1 : 0;
    }
    return mSkippedEvents + mProgramChanges - kept;
}

int KRVSMFReader::Parse(const std::uint8_t* inData, std::size_t inSize) {
    Reset();
    mData = inData;
    mSize = inSize;
    mPosition = 0;
    int declaredTracks = 0;
    int status = ReadHeader(&declaredTracks);
    // Chunks other than tracks are allowed anywhere and skipped; tracks
    // beyond the declared count, and anything after them, are ignored.
    while (status == 0 && static_cast<int>(mTracks.size()) < declaredTracks) {
        status = ReadTrack();
    }
    if (status != 0) {
        Reset();
        return status;
    }
    TrustExactTempo();
    if (mFormat == 1 && mTracks.front().empty()) {
        mTracks.erase(mTracks.begin());
        mNoteCounts.erase(mNoteCounts.begin());
    }
    return 0;
}

int KRVSMFReader::ReadHeader(int* outTrackCount) {
    if (mSize < kChunkHeaderLength || std::memcmp(mData, "MThd", 4) != 0) {
        return kNotAMIDIFile;
    }
    mPosition = 4;
    std::uint32_t length = ReadBigEndian(4);
    if (length < kMinHeaderLength) {
        return kNotAMIDIFile;
    }
    if (length > mSize - mPosition) {
        return kTruncated;
    }
    std::size_t headerEnd = mPosition + length;
    mFormat = static_cast<int>(ReadBigEndian(2));
    *outTrackCount = static_cast<int>(ReadBigEndian(2));
    mDivision = static_cast<std::uint16_t>(ReadBigEndian(2));
    mPosition = headerEnd;
    if (mFormat > kMaxFormat) {
        return kNotAMIDIFile;
    }
    return *outTrackCount == 0 ? kNoTracks : 0;
}

int KRVSMFReader::ReadTrack() {
    if (kChunkHeaderLength > mSize - mPosition) {
        return kTruncated;
    }
    bool isTrack = std::memcmp(mData + mPosition, "MTrk", 4) == 0;
    mPosition += 4;
    std::uint32_t length = ReadBigEndian(4);
    if (length > mSize - mPosition) {
        return kTruncated;
    }
    mChunkEnd = mPosition + length;
    if (!isTrack) {
        mPosition = mChunkEnd;
        return 0;
    }
    std::vector<KRVSMFNote> notes;
    mNoteCount = 0;
    mTick = 0;
    mRunningStatus = 0;
    mTrackEnded = false;
    mNextSounding.clear();
    int status = 0;
    while (status == 0 && !mTrackEnded && mPosition < mChunkEnd) {
        status = ReadEvent(&notes);
    }
    EndTrack(&notes);
    mPosition = mChunkEnd;
    mTracks.push_back(std::move(notes));
    mNoteCounts.push_back(mNoteCount);
    return status;
}

int KRVSMFReader::ReadEvent(std::vector<KRVSMFNote>* ioNotes) {
    std::uint32_t delta = 0;
    if (int status = ReadVariableLength(&delta)) {
        return status;
    }
    mTick += delta;
    if (mPosition >= mChunkEnd) {
        return kBadEvent;
    }
    std::uint8_t status = mData[mPosition];
    if (status == kMetaEvent) {
        mPosition++;
        return ReadMetaEvent();
    }
    if (status == kSysExEvent || status == kSysExContinuation) {
        mPosition++;
        mSkippedEvents++;
        const std::uint8_t* data = nullptr;
        std::uint32_t length = 0;
        return ReadSizedData(&data, &length);
    }
    if (status & 0x80) {
        mPosition++;
        mRunningStatus = status;
    } else if (mRunningStatus == 0) {
        return kBadEvent;
    }
    // Running status is kept across meta and system-exclusive events: the
    // standard cancels it there, but some writers rely on it and no valid
    // file is misread for keeping it.
    return ReadChannelMessage(mRunningStatus, ioNotes);
}

int KRVSMFReader::ReadChannelMessage(std::uint8_t inStatus, std::vector<KRVSMFNote>* ioNotes) {
    std::uint8_t kind = inStatus & 0xF0;
    if (kind == 0xF0) {
        // System common and real-time messages have no place in a file.
        return kBadEvent;
    }
    std::size_t dataLength = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    if (dataLength > mChunkEnd - mPosition) {
        return kBadEvent;
    }
    const std::uint8_t* data = mData + mPosition;
    mPosition += dataLength;
    for (std::size_t i = 0; i < dataLength; i++) {
        if (data[i] & 0x80) {
            return kBadEvent;
        }
    }
    // A note-on of velocity 0 is a note-off.
    const bool isNote = kind == 0x90 && data[1] != 0;
    if (kind == 0xC0) {
        KeepProgram(inStatus & 0x0F, data[0]);
    } else if (kind != 0x80 && kind != 0x90) {
        mSkippedEvents++;
    }
    mNoteCount += isNote ? 1 : 0;
    if (!isNote && (kind == 0x80 || kind == 0x90)) {
        EndNote(inStatus & 0x0F, data[0], ioNotes);
    }
    if (isNote && ioNotes->size() < mMaxNotesPerTrack) {
        KRVSMFNote note;
        note.mTick = mTick;
        note.mChannel = inStatus & 0x0F;
        note.mNote = data[0];
        note.mVelocity = data[1];
        StartNote(note.mChannel << 7 | note.mNote, ioNotes->size());
        ioNotes->push_back(note);
    }
    return 0;
}

// Queues the kept note at inIndex behind the others of its key.
void KRVSMFReader::StartNote(int inKey, std::size_t inIndex) {
    SoundingQueue& queue = mSounding[inKey];
    mNextSounding.push_back(kNoNote);
    if (queue.mFirst == kNoNote) {
        queue.mFirst = inIndex;
        mSoundingKeys.push_back(static_cast<std::uint16_t>(inKey));
    } else {
        mNextSounding[queue.mLast] = inIndex;
    }
    queue.mLast = inIndex;
}

// A note-off that ends no kept note (its note-on was not kept, or there was
// none) is passed over.
void KRVSMFReader::EndNote(std::uint8_t inChannel, std::uint8_t inNote,
                           std::vector<KRVSMFNote>* ioNotes) {
    SoundingQueue& queue = mSounding[inChannel << 7 | inNote];
    if (queue.mFirst == kNoNote) {
        return;
    }
    KRVSMFNote& note = (*ioNotes)[queue.mFirst];
    note.mLength = mTick - note.mTick;
    queue.mFirst = mNextSounding[queue.mFirst];
}

// Notes that are still sounding when their track ends last until then, and
// every queue is left empty for the next track.
void KRVSMFReader::EndTrack(std::vector<KRVSMFNote>* ioNotes) {
    for (std::uint16_t key : mSoundingKeys) {
        SoundingQueue& queue = mSounding[key];
        for (std::size_t index = queue.mFirst; index != kNoNote; index = mNextSounding[index]) {
            (*ioNotes)[index].mLength = mTick - (*ioNotes)[index].mTick;
        }
        queue = {};
    }
    mSoundingKeys.clear();
}

int KRVSMFReader::ReadMetaEvent() {
    if (mPosition >= mChunkEnd) {
        return kBadEvent;
    }
    std::uint8_t type = mData[mPosition++];
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    if (int status = ReadSizedData(&data, &length)) {
        return status;
    }
    if (type == kMetaEndOfTrack) {
        mTrackEnded = true;
    } else if (type == kMetaTempo && length >= kTempoLength) {
        KeepTempo(data);
    } else if (type == kMetaSequencerSpecific && length == kExactTempoLength && mTick == 0 &&
               std::memcmp(data, kExactTempoTag, sizeof(kExactTempoTag)) == 0) {
        KeepExactTempo(data + sizeof(kExactTempoTag));
    }
    return 0;
}

void KRVSMFReader::KeepExactTempo(const std::uint8_t* inData) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; i++) {
        bits = bits << 8 | inData[i];
    }
    mExactBPM = std::bit_cast<double>(bits);
    mExactTicksPerQuarterNote = static_cast<std::uint16_t>(inData[8] << 8 | inData[9]);
}

// krv's exact tempo holds only while the file's first tempo, at its start,
// and its division still play at it.
void KRVSMFReader::TrustExactTempo() {
    const bool quarterNotes = mDivision != 0 && (mDivision & 0x8000) == 0;
    if (!(std::isfinite(mExactBPM) && mExactBPM > 0.0) || mExactTicksPerQuarterNote == 0 ||
        !mTempoFound || mTempoTick != 0 || !quarterNotes) {
        mExactBPM = 0.0;
        return;
    }
    const double stated =
        60000000.0 * mDivision /
        (static_cast<double>(mMicrosecondsPerQuarterNote) * mExactTicksPerQuarterNote);
    if (std::abs(stated - mExactBPM) > mExactBPM * kExactTempoTolerance) {
        mExactBPM = 0.0;
    }
}

// Reads a variable-length count and steps over that many bytes, which must
// lie inside the chunk.
int KRVSMFReader::ReadSizedData(const std::uint8_t** outData, std::uint32_t* outLength) {
    if (int status = ReadVariableLength(outLength)) {
        return status;
    }
    if (*outLength > mChunkEnd - mPosition) {
        return kBadEvent;
    }
    *outData = mData + mPosition;
    mPosition += *outLength;
    return 0;
}

void KRVSMFReader::KeepTempo(const std::uint8_t* inData) {
    std::uint32_t microseconds = (inData[0] << 16) | (inData[1] << 8) | inData[2];
    // A tempo of 0 microseconds per beat has no meaning; it is skipped.
    if (microseconds == 0 || mTempoFound) {
        mLaterTempos++;
    }
    if (microseconds != 0 && mTempos.size() < kMaxTempos) {
        mTempos.push_back({mTick, microseconds});
    }
    if (microseconds == 0 || (mTempoFound && mTick >= mTempoTick)) {
        return;
    }
    mTempoFound = true;
    mTempoTick = mTick;
    mMicrosecondsPerQuarterNote = microseconds;
}

void KRVSMFReader::KeepProgram(std::uint8_t inChannel, std::uint8_t inProgram) {
    mProgramChanges++;
    Program& program = mPrograms[inChannel & 0x0F];
    if (program.mProgram < 0 || mTick < program.mTick) {
        program = {inProgram, mTick};
    }
}

// At most 4 bytes, as the standard allows; a longer number is an error.
int KRVSMFReader::ReadVariableLength(std::uint32_t* outValue) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; i++) {
        if (mPosition >= mChunkEnd) {
            return kBadEvent;
        }
        std::uint8_t byte = mData[mPosition++];
        value = (value << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            *outValue = value;
            return 0;
        }
    }
    return kBadVariableLength;
}

// Callers have checked that the bytes are there.
std::uint32_t KRVSMFReader::ReadBigEndian(int inByteCount) {
    std::uint32_t value = 0;
    for (int i = 0; i < inByteCount; i++) {
        value = (value << 8) | mData[mPosition++];
    }
    return value;
}
