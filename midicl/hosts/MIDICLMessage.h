#pragma once

#include <cstddef>
#include <cstdint>

// Where one MIDI message ends inside a packet. Hosts that carry one message
// per event (ALSA, JACK) split packets with it.
class MIDICLMessage {
public:
    // The length of the message that starts at inData: 0 when inData does not
    // start with a status byte or the message is cut short. System exclusive
    // runs to its F7 or, without one, to the end.
    static std::size_t Length(const std::uint8_t* inData, std::size_t inLength);
    // A note-on with velocity 0 is a note-off.
    static bool IsNoteOn(const std::uint8_t* inData, std::size_t inLength);
    static bool IsNoteOff(const std::uint8_t* inData, std::size_t inLength);
};
