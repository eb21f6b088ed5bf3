#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "MIDICLInputPortListener.h"
#include "MIDICLTypes.h"

// A listener that keeps every packet it hears, from whatever thread.
class MIDICLRecorder : public MIDICLInputPortListener {
public:
    struct MIDICLHeard {
        MIDICLTimeStamp mTimeStamp;
        std::vector<std::uint8_t> mBytes;
    };

    void Hear(const MIDICLPacketList* inList) override;
    std::vector<MIDICLHeard> Take();

private:
    std::mutex mMutex;
    std::vector<MIDICLHeard> mHeard;
};

// Polls inReady until it holds or inLimit has passed; says which.
template <typename Ready>
bool MIDICLAwait(Ready inReady, std::chrono::milliseconds inLimit = std::chrono::seconds(2)) {
    const auto deadline = std::chrono::steady_clock::now() + inLimit;
    while (!inReady()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// What inRecorder hears first, waited for as long as inLimit.
inline std::vector<MIDICLRecorder::MIDICLHeard> MIDICLAwaitHeard(
    MIDICLRecorder& ioRecorder, std::chrono::milliseconds inLimit = std::chrono::seconds(2)) {
    std::vector<MIDICLRecorder::MIDICLHeard> heard;
    MIDICLAwait([&] { return !(heard = ioRecorder.Take()).empty(); }, inLimit);
    return heard;
}
