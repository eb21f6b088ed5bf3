#pragma once

#include <cstdint>

// When a packet is due: 0 means "deliver now", anything else is a time on
// the clock of the port it goes through (MIDICLClock): nanoseconds on
// CLOCK_MONOTONIC, or JACK frames on a JACK port.
using MIDICLTimeStamp = std::uint64_t;

// A host's identity of an endpoint (a destination or a source). Its value is
// the host's business; a default-made one names nothing. It is a struct so that
// an endpoint and a destination index never convert into each other.
struct MIDICLEndpointRef {
    std::uint64_t mValue = 0;

    bool IsValid() const { return mValue != 0; }
    bool operator==(const MIDICLEndpointRef&) const = default;
};
