#include "MIDICLRecorder.h"

#include <utility>

void MIDICLRecorder::Hear(const MIDICLPacketList* inList) {
    std::lock_guard<std::mutex> lock(mMutex);
    for (std::size_t i = 0; i < inList->GetNumPackets(); ++i) {
        const MIDICLPacket packet = inList->GetPacket(i);
        mHeard.push_back({packet.mTimeStamp, {packet.mData, packet.mData + packet.mLength}});
    }
}

std::vector<MIDICLRecorder::MIDICLHeard> MIDICLRecorder::Take() {
    std::lock_guard<std::mutex> lock(mMutex);
    return std::exchange(mHeard, {});
}
