#include "input/KRVMIDIParser.h"

namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kReleaseVelocity = 0x40;
constexpr std::uint8_t kFirstRealTime = 0xF8;
constexpr std::uint8_t kFirstSystem = 0xF0;
constexpr std::uint8_t kSongPosition = 0xF2;
constexpr std::uint8_t kTimingClock = 0xF8;
constexpr std::uint8_t kStop = 0xFC;
constexpr std::uint8_t kTick = 0xF9;

}  // namespace

int KRVMIDIParser::DataBytesOf(std::uint8_t inStatus) {
    const std::uint8_t kind = inStatus & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

// Clock, Start, Continue and Stop; not the undefined 0xF9, active sensing
// or reset.
bool KRVMIDIParser::IsFollowedRealTime(std::uint8_t inByte) {
    return inByte >= kTimingClock && inByte <= kStop && inByte != kTick;
}

bool KRVMIDIParser::Feed(std::uint8_t inByte, KRVInputMessage& outMessage) {
    if (inByte >= kFirstRealTime) {
        if (!IsFollowedRealTime(inByte)) {
            return false;
        }
        outMessage.mBytes[0] = inByte;
        outMessage.mBytes[1] = outMessage.mBytes[2] = 0;
        outMessage.mLength = 1;
        return true;
    }
    if (inByte >= kFirstSystem) {
        // Sysex and system common end the running status; their data bytes
        // then find no status and are dropped, but for Song Position's.
        mStatus = 0;
        mHave = 0;
        mSongPositionHave = inByte == kSongPosition ? 0 : -1;
        return false;
    }
    if (inByte & 0x80) {
        mStatus = inByte;
        mHave = 0;
        mSongPositionHave = -1;
        return false;
    }
    if (mSongPositionHave >= 0) {
        return FeedSongPosition(inByte, outMessage);
    }
    if (mStatus == 0) {
        return false;
    }
    mData[mHave++] = inByte;
    if (mHave < DataBytesOf(mStatus)) {
        return false;
    }
    mHave = 0;
    return Complete(outMessage);
}

bool KRVMIDIParser::Complete(KRVInputMessage& outMessage) {
    const int count = DataBytesOf(mStatus);
    outMessage.mBytes[0] = mStatus;
    outMessage.mBytes[1] = mData[0];
    outMessage.mBytes[2] = count == 2 ? mData[1] : 0;
    outMessage.mLength = static_cast<std::uint8_t>(1 + count);
    if ((mStatus & 0xF0) == kNoteOn && mData[1] == 0) {
        outMessage.mBytes[0] = kNoteOff | (mStatus & 0x0F);
        outMessage.mBytes[2] = kReleaseVelocity;
    }
    return true;
}

// Least significant seven bits first.
bool KRVMIDIParser::FeedSongPosition(std::uint8_t inByte, KRVInputMessage& outMessage) {
    if (mSongPositionHave++ == 0) {
        mSongPositionLow = inByte;
        return false;
    }
    mSongPositionHave = -1;
    outMessage.mBytes[0] = kSongPosition;
    outMessage.mBytes[1] = mSongPositionLow;
    outMessage.mBytes[2] = inByte;
    outMessage.mLength = 3;
    return true;
}

void KRVMIDIParser::Reset() {
    mStatus = 0;
    mHave = 0;
    mSongPositionHave = -1;
}
