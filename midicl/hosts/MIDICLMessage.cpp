#include "hosts/MIDICLMessage.h"

std::size_t MIDICLMessage::Length(const std::uint8_t* inData, std::size_t inLength) {
    if (inLength == 0 || inData[0] < 0x80) {
        return 0;
    }
    const std::uint8_t status = inData[0];
    std::size_t length = 3;
    if (status == 0xF0) {
        length = 1;
        while (length < inLength && inData[length] != 0xF7) {
            ++length;
        }
        return length < inLength ? length + 1 : inLength;
    } else if (status == 0xF1 || status == 0xF3 || (status & 0xE0) == 0xC0) {
        length = 2;
    } else if (status >= 0xF4) {
        length = 1;
    }
    return length <= inLength ? length : 0;
}

bool MIDICLMessage::IsNoteOn(const std::uint8_t* inData, std::size_t inLength) {
    return inLength == 3 && (inData[0] & 0xF0) == 0x90 && inData[2] != 0;
}

bool MIDICLMessage::IsNoteOff(const std::uint8_t* inData, std::size_t inLength) {
    return inLength == 3 &&
           ((inData[0] & 0xF0) == 0x80 || ((inData[0] & 0xF0) == 0x90 && inData[2] == 0));
}
