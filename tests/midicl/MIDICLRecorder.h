#pragma once

// What the library's tests share (the unit tests too): the headers most of
// them need and a listener that records.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "../Await.h"
#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLException.h"
#include "MIDICLInputPortListener.h"
#include "MIDICLOutputPort.h"
#include "MIDICLPacketList.h"
#include "MIDICLTypes.h"

using Bytes = std::vector<std::uint8_t>;

// A listener that keeps every packet it hears, from whatever thread.
class MIDICLRecorder : public MIDICLInputPortListener {
public:
    struct MIDICLHeard {
        MIDICLTimeStamp mTimeStamp;
        Bytes mBytes;
    };

    void Hear(const MIDICLPacketList* inList) override {
        std::lock_guard<std::mutex> lock(mMutex);
        for (std::size_t i = 0; i < inList->GetNumPackets(); ++i) {
            const MIDICLPacket packet = inList->GetPacket(i);
            mHeard.push_back({packet.mTimeStamp, {packet.mData, packet.mData + packet.mLength}});
        }
    }
    std::vector<MIDICLHeard> Take() {
        std::lock_guard<std::mutex> lock(mMutex);
        return std::exchange(mHeard, {});
    }

private:
    std::mutex mMutex;
    std::vector<MIDICLHeard> mHeard;
};
