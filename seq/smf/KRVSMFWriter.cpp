#include "smf/KRVSMFWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {
constexpr std::uint32_t kMaxVariableLength = 0x0FFFFFFF;
constexpr std::uint32_t kMaxMicrosecondsPerQuarterNote = 0xFFFFFF;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kProgramChangeStatus = 0xC0;
constexpr std::uint8_t kReleaseVelocity = 64;
constexpr std::uint8_t kMetaEvent = 0xFF;
constexpr std::uint8_t kMetaText = 0x01;
constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint8_t kMetaSequencerSpecific = 0x7F;
constexpr std::uint16_t kFormat = 1;
constexpr double kMaxDivision = 0x7FFF;
// How far a tempo may be from the one asked for and keep the sequencer's
// quarter note: well within what any listener or program could tell.
constexpr double kTempoTolerance = 1e-5;
}  // namespace

KRVSMFWriter::KRVSMFWriter(std::uint16_t inTicksPerQuarterNote)
    : mTicksPerQuarterNote(std::clamp<std::uint16_t>(inTicksPerQuarterNote, 1, 0x7FFF)),
      mDivision(mTicksPerQuarterNote) {}

int KRVSMFWriter::SetTempo(double inBPM) {
    const double exact = 60000000.0 / inBPM;
    const double rounded = std::round(exact);
    mDivision = mTicksPerQuarterNote;
    mExactBPM = inBPM;
    if (rounded >= 1.0 && rounded <= kMaxMicrosecondsPerQuarterNote &&
        std::abs(rounded - exact) <= exact * kTempoTolerance) {
        mMicrosecondsPerQuarterNote = static_cast<std::uint32_t>(rounded);
        return 0;
    }
    if (!(exact > 0.0)) {
        mMicrosecondsPerQuarterNote = 1;
        mExactBPM = 0.0;
        return kOutOfRange;
    }
    // The largest division whose quarter note the tempo event can hold
    // gives the most digits.
    const double division =
        std::floor(std::min(kMaxDivision, static_cast<double>(kMaxMicrosecondsPerQuarterNote) *
                                              mTicksPerQuarterNote / exact));
    if (division < 1.0) {
        mDivision = 1;
        mMicrosecondsPerQuarterNote = kMaxMicrosecondsPerQuarterNote;
        mExactBPM = 0.0;
        return kOutOfRange;
    }
    mDivision = static_cast<std::uint16_t>(division);
    mMicrosecondsPerQuarterNote =
        static_cast<std::uint32_t>(std::round(exact * division / mTicksPerQuarterNote));
    return 0;
}

double KRVSMFWriter::GetWrittenBPM() const {
    return 60000000.0 * mDivision /
           (static_cast<double>(mMicrosecondsPerQuarterNote) * mTicksPerQuarterNote);
}

int KRVSMFWriter::AddTrack() {
    if (GetTrackCount() >= kMaxNoteTracks) {
        return kOutOfRange;
    }
    mTracks.emplace_back();
    return GetTrackCount() - 1;
}

void KRVSMFWriter::AddNote(int inTrack0, std::uint64_t inTick, std::uint64_t inDuration,
                           std::uint8_t inChannel, std::uint8_t inNote, std::uint8_t inVelocity,
                           bool inOverlaps) {
    Track& track = mTracks[inTrack0];
    std::uint8_t channel = inChannel & 0x0F;
    std::uint8_t note = inNote & 0x7F;
    // A note-on of velocity 0 would be read as a note-off.
    std::uint8_t velocity = std::clamp<std::uint8_t>(inVelocity, 1, 127);
    track.mMessages.push_back(
        {inTick, kStartOfNote, {static_cast<std::uint8_t>(kNoteOn | channel), note, velocity}, 3});
    Order endOrder = inDuration == 0 || inOverlaps ? kEndOfEmptyNote : kEndOfEarlierNote;
    track.mMessages.push_back(
        {inTick + inDuration,
         endOrder,
         {static_cast<std::uint8_t>(kNoteOff | channel), note, kReleaseVelocity},
         3});
    ExtendTrack(inTrack0, inTick + inDuration);
}

void KRVSMFWriter::AddProgramChange(int inTrack0, std::uint8_t inChannel, std::uint8_t inProgram) {
    mTracks[inTrack0].mMessages.push_back(
        {0,
         kProgramChange,
         {static_cast<std::uint8_t>(kProgramChangeStatus | (inChannel & 0x0F)),
          static_cast<std::uint8_t>(inProgram & 0x7F), 0},
         2});
}

void KRVSMFWriter::ExtendTrack(int inTrack0, std::uint64_t inTick) {
    mTracks[inTrack0].mEndTick = std::max(mTracks[inTrack0].mEndTick, inTick);
}

std::vector<std::uint8_t> KRVSMFWriter::Encode() const {
    std::vector<std::uint8_t> header;
    AppendBigEndian(kFormat, 2, &header);
    AppendBigEndian(static_cast<std::uint32_t>(mTracks.size() + 1), 2, &header);
    AppendBigEndian(mDivision, 2, &header);
    std::vector<std::uint8_t> file;
    AppendChunk("MThd", header, &file);
    AppendChunk("MTrk", EncodeTempoTrack(), &file);
    for (const Track& track : mTracks) {
        AppendChunk("MTrk", EncodeNoteTrack(track), &file);
    }
    return file;
}

std::vector<std::uint8_t> KRVSMFWriter::EncodeTempoTrack() const {
    std::vector<std::uint8_t> body = {0, kMetaEvent, kMetaTempo, 3};
    AppendBigEndian(mMicrosecondsPerQuarterNote, 3, &body);
    if (mExactBPM > 0.0 && (mDivision != mTicksPerQuarterNote || GetWrittenBPM() != mExactBPM)) {
        AppendExactTempo(&body);
    }
    body.insert(body.end(), {0, kMetaEvent, kMetaEndOfTrack, 0});
    return body;
}

// Where the tempo event and the division only come near the tempo, krv's own
// note of it lets krv's import take it back exactly; other programs skip it.
void KRVSMFWriter::AppendExactTempo(std::vector<std::uint8_t>* ioBody) const {
    ioBody->insert(ioBody->end(), {0, kMetaEvent, kMetaSequencerSpecific,
                                   static_cast<std::uint8_t>(kExactTempoLength)});
    ioBody->insert(ioBody->end(), kExactTempoTag, kExactTempoTag + sizeof(kExactTempoTag));
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(mExactBPM);
    AppendBigEndian(static_cast<std::uint32_t>(bits >> 32), 4, ioBody);
    AppendBigEndian(static_cast<std::uint32_t>(bits), 4, ioBody);
    AppendBigEndian(mTicksPerQuarterNote, 2, ioBody);
}

std::vector<std::uint8_t> KRVSMFWriter::EncodeNoteTrack(const Track& inTrack) {
    std::vector<Message> messages = inTrack.mMessages;
    std::stable_sort(messages.begin(), messages.end(), [](const Message& inA, const Message& inB) {
        return inA.mTick != inB.mTick ? inA.mTick < inB.mTick : inA.mOrder < inB.mOrder;
    });
    std::vector<std::uint8_t> body;
    std::uint64_t tick = 0;
    for (const Message& message : messages) {
        AppendDelta(message.mTick - tick, &body);
        body.insert(body.end(), message.mBytes, message.mBytes + message.mLength);
        tick = message.mTick;
    }
    AppendDelta(inTrack.mEndTick - tick, &body);
    body.insert(body.end(), {kMetaEvent, kMetaEndOfTrack, 0});
    return body;
}

void KRVSMFWriter::AppendChunk(const char* inType, const std::vector<std::uint8_t>& inBody,
                               std::vector<std::uint8_t>* ioFile) {
    ioFile->insert(ioFile->end(), inType, inType + 4);
    AppendBigEndian(static_cast<std::uint32_t>(inBody.size()), 4, ioFile);
    ioFile->insert(ioFile->end(), inBody.begin(), inBody.end());
}

// A delta longer than a variable-length number holds is bridged with empty
// text events, which every reader skips.
void KRVSMFWriter::AppendDelta(std::uint64_t inDelta, std::vector<std::uint8_t>* ioBody) {
    while (inDelta > kMaxVariableLength) {
        AppendVariableLength(kMaxVariableLength, ioBody);
        ioBody->insert(ioBody->end(), {kMetaEvent, kMetaText, 0});
        inDelta -= kMaxVariableLength;
    }
    AppendVariableLength(static_cast<std::uint32_t>(inDelta), ioBody);
}

void KRVSMFWriter::AppendVariableLength(std::uint32_t inValue, std::vector<std::uint8_t>* ioBody) {
    std::uint8_t groups[4];
    int count = 0;
    do {
        groups[count++] = inValue & 0x7F;
        inValue >>= 7;
    } while (inValue != 0 && count < 4);
    while (count > 1) {
        ioBody->push_back(groups[--count] | 0x80);
    }
    ioBody->push_back(groups[0]);
}

void KRVSMFWriter::AppendBigEndian(std::uint32_t inValue, int inByteCount,
                                   std::vector<std::uint8_t>* ioBytes) {
    for (int shift = (inByteCount - 1) * 8; shift >= 0; shift -= 8) {
        ioBytes->push_back(static_cast<std::uint8_t>(inValue >> shift));
    }
}
