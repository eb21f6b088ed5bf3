#include "hosts/alsa/MIDICLAlsaScheduled.h"

#include <algorithm>

#include "hosts/MIDICLMessage.h"

namespace {
constexpr std::uint8_t kTimingClock = 0xF8;
}

void MIDICLAlsaScheduled::Forget(MIDICLTimeStamp inNow) {
    const auto end =
        std::remove_if(mMessages.begin(), mMessages.begin() + mCount,
                       [inNow](const Message& inMessage) { return inMessage.mStamp <= inNow; });
    mCount = static_cast<std::size_t>(end - mMessages.begin());
}

bool MIDICLAlsaScheduled::HasRoomFor(bool inNoteOn) const {
    return mCount + (inNoteOn ? kReserve : 0) < kCapacity;
}

bool MIDICLAlsaScheduled::Add(MIDICLTimeStamp inStamp, const std::uint8_t* inData,
                              std::size_t inLength) {
    if (mCount == kCapacity || inLength > kMaxBytes) {
        return false;
    }
    Message& message = mMessages[mCount++];
    message.mStamp = inStamp;
    message.mLength = inLength;
    std::copy(inData, inData + inLength, message.mBytes.begin());
    return true;
}

bool MIDICLAlsaScheduled::HasToWithdraw(MIDICLTimeStamp inCut) const {
    return std::any_of(mMessages.begin(), mMessages.begin() + mCount,
                       [inCut](const Message& inMessage) {
                           return inMessage.mStamp > inCut ||
                                  (inMessage.mStamp == inCut && IsTakenBackAlone(inMessage));
                       });
}

bool MIDICLAlsaScheduled::IsTakenBackAlone(const Message& inMessage) {
    return (inMessage.mLength == 1 && inMessage.mBytes[0] == kTimingClock) ||
           MIDICLMessage::IsNoteOn(inMessage.mBytes.data(), inMessage.mLength);
}

bool MIDICLAlsaScheduled::TakesBack(const Message& inMessage) {
    const std::uint8_t* bytes = inMessage.mBytes.data();
    if (inMessage.mLength == 1) {
        return bytes[0] == kTimingClock;
    }
    const bool on = MIDICLMessage::IsNoteOn(bytes, inMessage.mLength);
    if (!on && !MIDICLMessage::IsNoteOff(bytes, inMessage.mLength)) {
        return false;
    }
    std::uint16_t& taken = mTakenBack[(bytes[0] & 0x0Fu) * 128u + (bytes[1] & 0x7Fu)];
    if (on) {
        ++taken;
        return true;
    }
    if (taken > 0) {
        --taken;
        return true;
    }
    return false;
}
