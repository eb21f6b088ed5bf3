#include "input/KRVMIDIParser.h"

namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kReleaseVelocity = 0x40;
constexpr std::uint8_t kFirstRealTime = 0xF8;
constexpr std::uint8_t kFirstSystem = 0xF0;

}  // namespace

int KRVMIDIParser::DataBytesOf(std::uint8_t inStatus) {
    const std::uint8_t kind = inStatus & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

bool KRVMIDIParser::Feed(std::uint8_t inByte, KRVInputMessage& outMessage) {
    if (inByte >= kFirstRealTime) {
        return false;
    }
    if (inByte >= kFirstSystem) {
        // Sysex and system common end the running status; their data bytes
        // then find no status and are dropped.
        mStatus = 0;
        mHave = 0;
        return false;
    }
    if (inByte & 0x80) {
        mStatus = inByte;
        mHave = 0;
        return false;
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

void KRVMIDIParser::Reset() {
    mStatus = 0;
    mHave = 0;
}
