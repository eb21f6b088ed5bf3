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
// every cycle, a note-off repeated being harmless to a receiver. A note-on
// of the same key written meanwhile ends the repeats of that key, so no
// repeat ends a later note. Fixed size: for the process callback.
class MIDICLRepeatedNoteOffs {
public:
    // At most this many cycles in a row write the same note-offs again.
    static constexpr int kMaxRepeats = 32;

    // First thing in a pass, with whether the cycle follows on from the
    // last one. True when the kept note-offs are to be written again in
    // this cycle (Get), false when they are let go or there are none.
    bool BeginCycle(bool inRegular);
    // For each message written in the cycle.
    void Written(const std::uint8_t* inData, std::size_t inLength);
    bool IsEmpty() const { return mKeys.none(); }
    // The note-offs to write again, one key at a time: false past the last.
    bool Get(std::size_t& ioKey, std::uint8_t (&outNoteOff)[3]) const;

private:
    std::bitset<16 * 128> mKeys;
    // Whether the cycle the note-offs were last written in followed on.
    bool mWrittenRegular = true;
    int mRepeats = 0;
};
