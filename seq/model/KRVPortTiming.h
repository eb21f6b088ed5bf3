#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What each output port adds to the notes: whether it sends MIDI clock, and
// the latency, in milliseconds, by which everything it sends is moved (a
// negative one sends early). Not locked: the sequencer holds its busy flag
// around every use, since its clock reads it each tick.
class KRVPortTiming {
public:
    // The fixed amount a port may move its messages by: later as far as a
    // slow synthesizer needs, earlier no further than the clock hands over
    // ahead of the server.
    static constexpr int kMinLatencyMS = -20;
    static constexpr int kMaxLatencyMS = 1000;

    // Grow the table: for the command thread only.
    void SetClock(int inPort, bool inSends);
    void SetLatency(int inPort, int inMS);
    bool SendsClock(int inPort) const { return Find(inPort).mClock; }
    int GetLatency(int inPort) const { return Find(inPort).mLatencyMS; }
    // Ports past the table send no clock and have no latency.
    int GetPortCount() const { return static_cast<int>(mPorts.size()); }
    bool HasClock() const;
    void Clear() { mPorts.clear(); }
    bool operator==(const KRVPortTiming& inOther) const;
    std::size_t GetBytes() const { return mPorts.capacity() * sizeof(mPorts[0]); }

private:
    struct Entry {
        bool mClock = false;
        std::int16_t mLatencyMS = 0;
    };
    const Entry& Find(int inPort) const;
    Entry& Grow(int inPort);

    std::vector<Entry> mPorts;
};
