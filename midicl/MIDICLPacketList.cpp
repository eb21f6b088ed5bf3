#include "MIDICLPacketList.h"

#include <cstring>

bool MIDICLPacketList::Add(MIDICLTimeStamp inTimeStamp, const std::uint8_t* inData,
                           std::size_t inLength) {
    if (inLength == 0 || mNumPackets == kMaxPackets || inLength > kMaxBytes - mNumBytes) {
        return false;
    }
    MIDICLPacketEntry& entry = mEntries[mNumPackets];
    entry.mTimeStamp = inTimeStamp;
    entry.mOffset = static_cast<std::uint16_t>(mNumBytes);
    entry.mLength = static_cast<std::uint16_t>(inLength);
    std::memcpy(mBytes.data() + mNumBytes, inData, inLength);
    mNumBytes += inLength;
    ++mNumPackets;
    return true;
}

void MIDICLPacketList::Clear() {
    mNumPackets = 0;
    mNumBytes = 0;
}

MIDICLPacket MIDICLPacketList::GetPacket(std::size_t inIndex) const {
    if (inIndex >= mNumPackets) {
        return MIDICLPacket{};
    }
    const MIDICLPacketEntry& entry = mEntries[inIndex];
    return MIDICLPacket{entry.mTimeStamp, mBytes.data() + entry.mOffset, entry.mLength};
}
