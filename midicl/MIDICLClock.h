#pragma once

#include <cstdint>

// The time base a host schedules messages on. A time stamp given to an output
// port is a time on its host's clock: nanoseconds on CLOCK_MONOTONIC for most
// hosts, the server's frames for JACK, so that a note lands on exactly the
// frame it was meant for and no estimate of "which frame is now" enters.
// Times never take the value 0, which stamps mean as "deliver now".
//
// A player keeps its grid on this clock and sleeps on CLOCK_MONOTONIC until
// the time that ToMonotonicNS gives for each next point of the grid.
class MIDICLClock {
public:
    virtual ~MIDICLClock() = default;

    // The time now.
    virtual std::uint64_t Now() = 0;
    // How many units of this clock make a second.
    virtual double GetUnitsPerSecond() = 0;
    // When, in nanoseconds on CLOCK_MONOTONIC, this clock reads inTime: an
    // estimate, good enough to wake up by, never used to place a message.
    virtual std::uint64_t ToMonotonicNS(std::uint64_t inTime) = 0;
    // The latest time stamp a message may carry when it is handed over now.
    // A host that queues for a server keeps this a little ahead of what the
    // server has taken, so that nothing runs away from the server while it
    // is late, stalled or not yet started; 0 while nothing may be handed
    // over at all. Hosts that send at once have no limit.
    virtual std::uint64_t GetHandOverLimit() { return UINT64_MAX; }
    // The earliest time a message handed over now is sure to be placed at
    // exactly: where a player's grid can start. Hosts that send at once
    // place nothing, and start now.
    virtual std::uint64_t GetEarliestStart() { return Now(); }
    // How long after its time stamp a message is heard, in this clock's
    // units: a host that places messages a fixed latency after their time
    // says so, so that a player who plays along with what they hear can be
    // placed against the times the messages were meant for.
    virtual std::uint64_t GetHeardDelay() { return 0; }
};
