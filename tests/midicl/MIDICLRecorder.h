#pragma once

#include <cstdint>
#include <mutex>
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
