#include "hosts/MIDICLRepeatedNoteOffs.h"

#include <algorithm>

#include "hosts/MIDICLMessage.h"

bool MIDICLRepeatedNoteOffs::BeginCycle(bool inRegular, double inPeriodUsecs) {
    if (!inRegular && mSeenCycle) {
        mSettleUsecs = kSettleUsecs;
    } else if (inRegular) {
        mSettleUsecs = std::max(0.0, mSettleUsecs - inPeriodUsecs);
    }
    mSeenCycle = true;
    const bool heard = mWrittenRegular && inRegular && mSettleUsecs <= 0.0;
    mWrittenRegular = inRegular;
    mIrregularRepeats = inRegular ? 0 : mIrregularRepeats + 1;
    if (mKeys.none()) {
        return false;
    }
    if (heard || mIrregularRepeats > kMaxRepeats) {
        mKeys.reset();
        return false;
    }
    return true;
}

void MIDICLRepeatedNoteOffs::Written(const std::uint8_t* inData, std::size_t inLength) {
    const bool noteOff = MIDICLMessage::IsNoteOff(inData, inLength);
    if (!noteOff && !MIDICLMessage::IsNoteOn(inData, inLength)) {
        return;
    }
    const std::size_t key = (inData[0] & 0x0Fu) * 128u + (inData[1] & 0x7Fu);
    mKeys.set(key, noteOff);
}

bool MIDICLRepeatedNoteOffs::Get(std::size_t& ioKey, std::uint8_t (&outNoteOff)[3]) const {
    while (ioKey < mKeys.size() && !mKeys.test(ioKey)) {
        ++ioKey;
    }
    if (ioKey >= mKeys.size()) {
        return false;
    }
    outNoteOff[0] = static_cast<std::uint8_t>(0x80 | (ioKey / 128));
    outNoteOff[1] = static_cast<std::uint8_t>(ioKey % 128);
    outNoteOff[2] = 0;
    return true;
}
