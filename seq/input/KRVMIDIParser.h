#pragma once

#include <cstdint>

#include "input/KRVInputMessage.h"

// Turns a stream of MIDI bytes, cut anywhere, into channel messages. Running
// status carries over between packets; real-time bytes (0xF8-0xFF) may come
// between the bytes of a message and leave it whole; system-exclusive and
// system common messages are read past and dropped. Allocates nothing, so a
// host's thread may run it.
class KRVMIDIParser {
public:
    // True when inByte completes a message, written to outMessage (mTime
    // is the caller's to set).
    bool Feed(std::uint8_t inByte, KRVInputMessage& outMessage);
    // Forgets a message half read and the running status (a new source).
    void Reset();

private:
    static int DataBytesOf(std::uint8_t inStatus);
    bool Complete(KRVInputMessage& outMessage);

    // 0 while no channel status is running (after sysex or system common).
    std::uint8_t mStatus = 0;
    std::uint8_t mData[2] = {0, 0};
    int mHave = 0;
};
