#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>

#include "MIDICLClock.h"

// JACK's frame count as a clock. Times are frames, extended past the 32 bits
// JACK counts in and offset so that none is 0.
//
// JACK keeps time on a clock of its own (CLOCK_MONOTONIC_RAW in Debian's
// JACK2, CLOCK_MONOTONIC in PipeWire), so nothing here assumes it is ours:
// the offset between the two is measured afresh whenever a wake-up time is
// asked for. Frames and JACK times are related only through the cycle times
// that the process callback publishes, with signed arithmetic, since
// jack_time_to_frames is wrong for past times on PipeWire.
class MIDICLJackClock : public MIDICLClock {
public:
    // What jack_get_cycle_times reports for one cycle.
    struct Cycle {
        jack_nframes_t mFrames = 0;
        jack_time_t mUsecs = 0;
        float mPeriodUsecs = 0;
        jack_nframes_t mPeriodFrames = 0;
    };

    explicit MIDICLJackClock(jack_client_t* inClient);

    std::uint64_t Now() override;
    double GetUnitsPerSecond() override;
    // A period before the time of inTime's frame: a message handed over then
    // makes the cycle that places it one period after its frame with a whole
    // period to spare, enough for a late wake-up or a server that runs a few
    // cycles back to back to catch up.
    std::uint64_t ToMonotonicNS(std::uint64_t inTime) override;

    // For the process callback, once a cycle.
    void PublishCycle();
    // The period in frames of the last cycle, 0 before the first.
    jack_nframes_t GetPeriodFrames() const { return mPeriodFrames.load(); }
    // The extended time of a frame near the last time handed out.
    std::uint64_t Extend(jack_nframes_t inFrame);

    // The pure arithmetic, apart for testing.
    static std::int64_t FramesSince(const Cycle& inCycle, jack_time_t inUsecs);
    static std::int64_t UsecsSince(const Cycle& inCycle, jack_nframes_t inFrame);
    static std::uint64_t ExtendFrom(std::uint64_t inNear, jack_nframes_t inFrame);
    // JACK's clock minus CLOCK_MONOTONIC, in nanoseconds, from a reading of
    // JACK's clock taken between two readings of ours.
    static std::int64_t ClockOffsetNS(std::uint64_t inBeforeNS, jack_time_t inJackUsecs,
                                      std::uint64_t inAfterNS);
    // ToMonotonicNS for a given cycle and clock offset.
    static std::uint64_t WakeTimeNS(const Cycle& inCycle, std::uint64_t inTime,
                                    std::int64_t inClockOffsetNS);

    // Extended times start here, so that frame 0 is no time stamp 0.
    static constexpr std::uint64_t kEpoch = std::uint64_t(1) << 32;

private:
    bool ReadCycle(Cycle& outCycle) const;
    std::int64_t MeasureClockOffsetNS() const;

    jack_client_t* const mClient;
    // The last cycle, written by the process callback under a sequence count
    // (odd while writing), read by any thread.
    std::atomic<std::uint32_t> mSequence{0};
    std::atomic<jack_nframes_t> mFrames{0};
    std::atomic<jack_time_t> mUsecs{0};
    std::atomic<float> mPeriodUsecs{0};
    std::atomic<jack_nframes_t> mPeriodFrames{0};
    std::atomic<std::uint64_t> mLastTime{kEpoch};
};
