#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>

#include "MIDICLClock.h"

// A JACK server's frames as a clock. Times are frame positions that follow
// the server's frame time from cycle to cycle (offset so that none is 0),
// except where it jumps as the cycle's length changes (there the step is
// the last cycle's length, as a sequencer that counts its cycles' frames
// sees it), and they are 64 bits wide, so they never wrap.
//
// JACK keeps time on a clock of its own (CLOCK_MONOTONIC_RAW in Debian's
// JACK2, CLOCK_MONOTONIC in PipeWire), so nothing here assumes it is ours:
// the offset between the two is measured afresh whenever a wake-up time is
// asked for. Frames and JACK times are related only through the cycle times
// that the process callback publishes, with signed arithmetic, since
// jack_time_to_frames is wrong for past times on PipeWire.
//
// Until the first cycle there is no time to place anything against: the
// hand-over limit is 0 then. After it, messages may be handed over up to a
// lead (LeadFrames) past the last cycle's start, and no further: a server
// that stalls is not run away from.
class MIDICLJackClock : public MIDICLClock {
public:
    // One cycle: where it starts on our count, and its time on JACK's clock.
    struct Cycle {
        std::uint64_t mPosition = 0;
        jack_time_t mUsecs = 0;
        float mPeriodUsecs = 0;
        jack_nframes_t mPeriodFrames = 0;
        // See GetLatencyFrames.
        jack_nframes_t mLatencyFrames = 0;
    };

    explicit MIDICLJackClock(jack_client_t* inClient);

    std::uint64_t Now() override;
    double GetUnitsPerSecond() override;
    // A lead (LeadFrames) before the time of the frame that inTime's message
    // is placed at: a message handed over then makes its cycle with at least
    // a whole period to spare.
    std::uint64_t ToMonotonicNS(std::uint64_t inTime) override;
    std::uint64_t GetHandOverLimit() override;
    // Now and half a millisecond, the time the first tick takes to be
    // handed over (see EarliestStart).
    std::uint64_t GetEarliestStart() override;
    // How far after its time a message is placed: the first cycle's length,
    // so that when in the period the sender woke does not matter. It stays
    // the same for the whole run, whatever the quantum changes to, so that
    // a change moves no note against the one before.
    jack_nframes_t GetLatencyFrames() const { return mLatencyFrames.load(); }
    std::uint64_t GetHeardDelay() override { return GetLatencyFrames(); }

    // For the process callback, first thing in every cycle; returns where
    // the cycle starts on our count.
    std::uint64_t PublishCycle(jack_nframes_t inFrames);
    // For the process callback, after PublishCycle: whether this cycle
    // follows on from the last one, with no stall and no cycle skipped
    // between them (see IsRegular).
    bool IsCycleRegular() const { return mLastRegular; }
    // For the process callback, after PublishCycle: how long the server
    // says this cycle lasts.
    double GetCyclePeriodUsecs() const { return mLast.mPeriodUsecs; }

    // The pure arithmetic, apart for testing.
    // Where a cycle of inFrames starts, given the last one (position 0
    // before the first) and the server's frame time at both.
    static std::uint64_t NextPosition(const Cycle& inLast, jack_nframes_t inLastServerFrame,
                                      jack_nframes_t inServerFrame, jack_nframes_t inFrames);
    // Whether a cycle follows on from the last one: the server's frame time
    // moved by the last cycle's length, and JACK's clock by not much more
    // than its period (a server stopped and continued may go on counting
    // frames as if it had run).
    static bool IsRegular(const Cycle& inLast, jack_nframes_t inLastServerFrame,
                          jack_nframes_t inServerFrame, jack_nframes_t inFrames,
                          jack_time_t inUsecs);
    // How far a cycle of inFrames starts after the last one.
    static std::int64_t Step(const Cycle& inLast, jack_nframes_t inLastServerFrame,
                             jack_nframes_t inServerFrame, jack_nframes_t inFrames);
    static std::int64_t FramesSince(const Cycle& inCycle, jack_time_t inUsecs);
    static std::int64_t UsecsSince(const Cycle& inCycle, std::uint64_t inPosition);
    // Now for a cycle and a reading of JACK's clock: never before the
    // cycle, nor past its end, however late the next one is.
    static std::uint64_t NowAt(const Cycle& inCycle, jack_time_t inUsecs);
    static std::uint64_t EarliestStart(const Cycle& inCycle, std::uint64_t inNow,
                                       std::uint64_t inMarginFrames);
    static std::uint64_t LeadFrames(const Cycle& inCycle);
    static std::uint64_t HandOverLimit(const Cycle& inCycle);
    // JACK's clock minus CLOCK_MONOTONIC, in nanoseconds, from a reading of
    // JACK's clock taken between two readings of ours.
    static std::int64_t ClockOffsetNS(std::uint64_t inBeforeNS, jack_time_t inJackUsecs,
                                      std::uint64_t inAfterNS);
    // ToMonotonicNS for a given cycle and clock offset.
    static std::uint64_t WakeTimeNS(const Cycle& inCycle, std::uint64_t inTime,
                                    std::int64_t inClockOffsetNS);

    // Positions start here, so that frame 0 is no time stamp 0.
    static constexpr std::uint64_t kEpoch = std::uint64_t(1) << 32;
    // How far past the last cycle's start a message may be handed over, in
    // periods, and at least in frames: two of PipeWire's default largest
    // quantum (2048), 85 ms at 48 kHz. A stop withdraws what is queued, so
    // the lead costs only how soon an edit is heard.
    static constexpr std::uint64_t kHorizonPeriods = 2;
    static constexpr std::uint64_t kLeadFloorFrames = 4096;

private:
    bool ReadCycle(Cycle& outCycle) const;
    std::int64_t MeasureClockOffsetNS() const;

    jack_client_t* const mClient;
    // The process callback's own: the last cycle (position 0 before the
    // first) and the server's frame time at it.
    Cycle mLast;
    jack_nframes_t mLastServerFrame = 0;
    bool mLastRegular = false;
    // The last cycle, written by the process callback under a sequence count
    // (odd while writing), read by any thread.
    std::atomic<std::uint32_t> mSequence{0};
    std::atomic<std::uint64_t> mPosition{0};
    std::atomic<jack_time_t> mUsecs{0};
    std::atomic<float> mPeriodUsecs{0};
    std::atomic<jack_nframes_t> mPeriodFrames{0};
    std::atomic<jack_nframes_t> mLatencyFrames{0};
};
