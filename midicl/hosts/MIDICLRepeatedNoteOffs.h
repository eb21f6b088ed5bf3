#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>

// The note-offs a port wrote into cycles that may never have been heard.
// A server that stalls, or skips a cycle, may drop what its clients wrote
// around it (PipeWire, stopped and continued, drops the first cycle after),
// and a note-off lost there leaves its note sounding for good. So each
// note-off written is kept until both its cycle and the next one are seen
// to follow on from the cycle before; until then it is written again in
// every cycle, a note-off repeated being harmless to a receiver. After a
// stall (an irregular cycle that is not the port's first) the server may go
// on dropping other clients' cycles for a while although ours look steady
// (PipeWire, about a second after it is continued), so for kSettleUsecs
// of steady cycles after one every note-off is kept too. A note-on of the
// same key written meanwhile ends the repeats of that key, so no repeat ends
// a later note. Fixed size: for the process callback.
class MIDICLRepeatedNoteOffs {
public:
    // At most this many irregular cycles in a row write the same note-offs
    // again: a server that never steadies is given up on.
    static constexpr int kMaxRepeats = 32;
    static constexpr double kSettleUsecs = 2000000.0;

    // First thing in a pass, with whether the cycle follows on from the
    // last one and how long a cycle lasts. True when the kept note-offs are
    // to be written again in this cycle (Get), false when they are let go
    // or there are none.
    bool BeginCycle(bool inRegular, double inPeriodUsecs);
    // For each message written in the cycle.
    void Written(const std::uint8_t* inData, std::size_t inLength);
    bool IsEmpty() const { return mKeys.none(); }
    // The note-offs to write again, one key at a time: false past the last.
    bool Get(std::size_t& ioKey, std::uint8_t (&outNoteOff)[3]) const;

private:
    std::bitset<16 * 128> mKeys;
    // Whether the cycle the note-offs were last written in followed on.
    bool mWrittenRegular = true;
    bool mSeenCycle = false;
    // Steady time still to pass since the last stall.
    double mSettleUsecs = 0.0;
    int mIrregularRepeats = 0;
};
