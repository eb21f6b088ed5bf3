#pragma once

#include <cstddef>
#include <cstdint>

#include "MIDICLTypes.h"

// A view of one packet of a MIDICLPacketList: whole MIDI messages and the
// time they are due. The bytes belong to the list.
struct MIDICLPacket {
    MIDICLTimeStamp mTimeStamp = 0;
    const std::uint8_t* mData = nullptr;
    std::size_t mLength = 0;
};
