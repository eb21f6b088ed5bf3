#pragma once

#include <cstddef>
#include <cstdint>

// krv's note of a sequence's exact tempo in a MIDI file it exports, for the
// tempos a tempo event holds only nearly (see KRVSMFWriter): a
// sequencer-specific meta event (FF 7F) whose data is the manufacturer ID of
// non-commercial use (7D), "krv", the tempo in beats per minute as a
// big-endian IEEE double and krv's ticks a quarter note (2 bytes). An import
// trusts it only where the file's first tempo and division still give that
// tempo, so a file another program has retimed plays at its stated tempo.
inline constexpr std::uint8_t kExactTempoTag[] = {0x7D, 'k', 'r', 'v'};
inline constexpr std::size_t kExactTempoLength = sizeof(kExactTempoTag) + 8 + 2;
