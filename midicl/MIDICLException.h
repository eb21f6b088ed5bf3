#pragma once

#include <cstdint>

// What a failing host call reports: which call it was and the host's status.
// Thrown and passed by value; the library never catches it.
class MIDICLException {
public:
    enum MIDICLCallNumber {
        kMIDIClientCreate = 1,
        kMIDIDestinationCreate = 2,
        kMIDIInputPortCreate = 3,
        kMIDIOutputPortCreate = 4,
        kMIDIPacketListAdd = 5,
        kMIDISend = 6,
        kMIDISendSysEx = 7
    };

    MIDICLException(MIDICLCallNumber inCallNumber, std::int32_t inErrCode)
        : mCallNumber(inCallNumber), mErrCode(inErrCode) {}

    MIDICLCallNumber GetCallNumber() const { return mCallNumber; }
    // The host's status: a negative errno for ALSA and for full JACK buffers,
    // a jack_status_t for a JACK client that cannot open, 0 where the host
    // gave none.
    std::int32_t GetErrCode() const { return mErrCode; }

private:
    MIDICLCallNumber mCallNumber;
    std::int32_t mErrCode;
};
