#include "hosts/MIDICLWithdrawal.h"

#include "hosts/MIDICLMessage.h"

namespace {

constexpr std::uint8_t kTimingClock = 0xF8;

}  // namespace

std::size_t MIDICLWithdrawal::KeyIndex(const std::uint8_t* inData) {
    return (inData[0] & 0x0F) * 128u + (inData[1] & 0x7F);
}

bool MIDICLWithdrawal::Pass(const std::uint8_t* inData, std::size_t inLength, MIDICLTimeStamp inCut,
                            MIDICLTimeStamp& ioTimeStamp) {
    if (inCut == 0) {
        // A player that goes on after the cut (a port connected anew while
        // playing) sends the note-off of a withdrawn note-on later: it goes
        // too, or its count would take a later stop's note-off of a note
        // that sounds.
        if (MIDICLMessage::IsNoteOff(inData, inLength) && mAwaitingNoteOff[KeyIndex(inData)] > 0) {
            --mAwaitingNoteOff[KeyIndex(inData)];
            return false;
        }
        return true;
    }
    if (MIDICLMessage::IsNoteOn(inData, inLength)) {
        ++mAwaitingNoteOff[KeyIndex(inData)];
        return false;
    }
    if (inLength == 1 && inData[0] == kTimingClock) {
        return false;
    }
    if (MIDICLMessage::IsNoteOff(inData, inLength) && mAwaitingNoteOff[KeyIndex(inData)] > 0) {
        --mAwaitingNoteOff[KeyIndex(inData)];
        return false;
    }
    ioTimeStamp = inCut;
    return true;
}
