#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "MIDICLTypes.h"

// What becomes of the messages a player handed over when it stops at a time
// T, for those that have not gone out yet: a note-on is withdrawn, and so is
// the note-off that would have ended it, and so is a timing clock, since no
// tick comes after the stop; any other message (the note-off of a note that
// did start, a program change, a Start or Stop) goes at T, so that nothing
// sounds on. Those handed over ahead of time are among them, and so are
// those that could not go out in time (a server that takes only so many
// messages a cycle): no note starts after the stop.
//
// It keeps, for each channel and key, how many withdrawn note-ons still
// await their note-off, which is withdrawn whenever it comes, also when the
// player went on after the cut. Messages must be passed in the order they
// were sent.
class MIDICLWithdrawal {
public:
    // False when the message is withdrawn; otherwise ioTimeStamp is when it
    // goes. inCut is the time the player stopped before the message went
    // out, or 0 when it has not.
    bool Pass(const std::uint8_t* inData, std::size_t inLength, MIDICLTimeStamp inCut,
              MIDICLTimeStamp& ioTimeStamp);

private:
    static std::size_t KeyIndex(const std::uint8_t* inData);

    std::array<std::uint16_t, 16 * 128> mAwaitingNoteOff{};
};
