#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "MIDICLTypes.h"

// What becomes of the messages a player handed over ahead of time when it
// stops at a time T: what was due before T goes as planned; a note-on due
// at or after T is withdrawn, and so is the note-off that would have ended
// it; any other message due at or after T (a note-off of a note that did
// start, a program change) goes at T, so that nothing sounds on.
//
// It keeps, for each channel and key, how many withdrawn note-ons still
// await their note-off. Messages must be passed in the order they were sent.
class MIDICLWithdrawal {
public:
    // False when the message is withdrawn; otherwise ioTimeStamp is when it
    // goes. inCut is the time the player stopped, or 0 when it has not.
    bool Pass(const std::uint8_t* inData, std::size_t inLength, MIDICLTimeStamp inCut,
              MIDICLTimeStamp& ioTimeStamp);

private:
    static std::size_t KeyIndex(const std::uint8_t* inData);

    std::array<std::uint16_t, 16 * 128> mAwaitingNoteOff{};
};
