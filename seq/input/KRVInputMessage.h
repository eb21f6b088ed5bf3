#pragma once

#include <cstdint>

#include "MIDICLTypes.h"

// One complete channel message as it came in (note on/off, control change,
// ...): running status resolved, a note-on of velocity 0 already turned into
// a note-off. mTime is on the clock of the host it came through, the clock
// playback stamps its messages with.
struct KRVInputMessage {
    std::uint8_t mBytes[3];
    std::uint8_t mLength;
    MIDICLTimeStamp mTime;
};
