#include "hosts/MIDICLWithdrawal.h"

#include "hosts/MIDICLMessage.h"

std::size_t MIDICLWithdrawal::KeyIndex(const std::uint8_t* inData) {
    return (inData[0] & 0x0F) * 128u + (inData[1] & 0x7F);
}

bool MIDICLWithdrawal::Pass(const std::uint8_t* inData, std::size_t inLength, MIDICLTimeStamp inCut,
                            MIDICLTimeStamp& ioTimeStamp) {
    if (inCut == 0) {
        return true;
    }
    if (MIDICLMessage::IsNoteOn(inData, inLength)) {
        ++mAwaitingNoteOff[KeyIndex(inData)];
        return false;
    }
    if (MIDICLMessage::IsNoteOff(inData, inLength) && mAwaitingNoteOff[KeyIndex(inData)] > 0) {
        --mAwaitingNoteOff[KeyIndex(inData)];
        return false;
    }
    ioTimeStamp = inCut;
    return true;
}
