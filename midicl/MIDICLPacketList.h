#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "MIDICLPacket.h"
#include "MIDICLTypes.h"

// A fixed-size list of packets, meant to live on the stack: adding never
// allocates, it fails when the list is full. Listeners receive one of these;
// it is valid only during the call.
class MIDICLPacketList {
public:
    static constexpr std::size_t kMaxBytes = 256;
    static constexpr std::size_t kMaxPackets = 16;

    // The arrays stay uninitialised on purpose: a sender builds a list for
    // every message and only the used part is ever read.
    MIDICLPacketList() : mNumPackets(0), mNumBytes(0) {}

    // Appends one packet; false (and the list unchanged) when it does not fit.
    bool Add(MIDICLTimeStamp inTimeStamp, const std::uint8_t* inData, std::size_t inLength);
    void Clear();

    std::size_t GetNumPackets() const { return mNumPackets; }
    MIDICLPacket GetPacket(std::size_t inIndex) const;

private:
    struct MIDICLPacketEntry {
        MIDICLTimeStamp mTimeStamp;
        std::uint16_t mOffset;
        std::uint16_t mLength;
    };

    std::array<MIDICLPacketEntry, kMaxPackets> mEntries;
    std::array<std::uint8_t, kMaxBytes> mBytes;
    std::size_t mNumPackets;
    std::size_t mNumBytes;
};
