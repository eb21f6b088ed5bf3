#include "playback/KRVTransportFollow.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <system_error>

#include "MIDICLClock.h"
#include "MIDICLMonotonicClock.h"
#include "model/KRVSequencer.h"

namespace {

// How often the transport is looked at between ticks: a start, stop or
// move is seen within this, well inside the cycle the output takes.
constexpr std::uint64_t kPollNS = 500000;
// As the timer thread: above normal threads, below the audio server's.
constexpr int kRealtimePriority = 40;
constexpr double kTicksPerQuarterNote = KRVSequencer::kTicksPerQuarterNote;

}  // namespace

// A master's beat is a quarter note for a beat type of 4, an eighth for 8.
bool KRVTransportLock::Follow(const MIDICLTransport::Position& inPosition, double inOwnBPM,
                              bool inRunning) {
    const auto frame = static_cast<double>(inPosition.mFrame);
    const auto offset = static_cast<std::int64_t>(inPosition.mFrame - inPosition.mCycleStart);
    double ticksPerFrame = inOwnBPM * kTicksPerQuarterNote / (60 * inPosition.mFrameRate);
    double masterTick = frame * ticksPerFrame;
    double tolerance = 0;
    mMasterBPM = 0;
    if (inPosition.mHasBeats) {
        const double ticksPerBeat = kTicksPerQuarterNote * 4 / inPosition.mBeatType;
        const double beats = (inPosition.mBar - 1) * double(inPosition.mBeatsPerBar) +
                             (inPosition.mBeat - 1) + inPosition.mTick / inPosition.mTicksPerBeat;
        masterTick = beats * ticksPerBeat;
        ticksPerFrame = inPosition.mBPM * ticksPerBeat / (60 * inPosition.mFrameRate);
        // The master counts in whole ticks of its own: closer than two of
        // them (and a frame) is no move.
        tolerance = 2 * ticksPerBeat / inPosition.mTicksPerBeat + ticksPerFrame;
        mMasterBPM = inPosition.mBPM * 4 / inPosition.mBeatType;
    }
    // Where our line and the master agree, ours is the finer count: the
    // master's is in whole ticks of its own. So a run that starts again on
    // the same line (a cycle the server skipped, a move along it) stays on
    // its frames.
    const bool onLine = inPosition.mHasBeats && mTicksPerFrame > 0 &&
                        std::fabs(TickAt(frame) - masterTick) <= tolerance;
    const double tick = onLine ? TickAt(frame) : masterTick;
    if (!inRunning || offset != mOffset) {
        mOffset = offset;
        Anchor(frame, tick, ticksPerFrame);
        return true;
    }
    // A new tempo starts where the master counts the frame; ours goes on
    // from where our line has come to.
    if (ticksPerFrame != mTicksPerFrame) {
        Anchor(frame, inPosition.mHasBeats ? tick : TickAt(frame), ticksPerFrame);
        return false;
    }
    if (inPosition.mHasBeats && !onLine) {
        Anchor(frame, masterTick, ticksPerFrame);
        return true;
    }
    return false;
}

void KRVTransportLock::Anchor(double inFrame, double inTick, double inTicksPerFrame) {
    mFrame = inFrame;
    mTick = inTick;
    mTicksPerFrame = inTicksPerFrame;
}

// A tick due less than half a frame before the anchor's frame is placed
// on that frame: it is the frame's own.
std::int64_t KRVTransportLock::GetFirstTick() const {
    return static_cast<std::int64_t>(std::ceil(mTick - 0.5 * mTicksPerFrame - 1e-9));
}

std::uint64_t KRVTransportLock::GetDueTime(std::int64_t inTick) const {
    const double frame = mFrame + (double(inTick) - mTick) / mTicksPerFrame;
    const std::int64_t due = std::llround(frame) - mOffset;
    // Never 0, which would mean "now".
    return due > 0 ? static_cast<std::uint64_t>(due) : 1;
}

KRVTransportFollower::KRVTransportFollower(KRVSequencer& ioSequencer,
                                           std::shared_ptr<MIDICLTransport> inTransport,
                                           MIDICLClock& inClock)
    : mSequencer(ioSequencer), mTransport(std::move(inTransport)), mClock(inClock) {}

KRVTransportFollower::~KRVTransportFollower() {
    if (mThread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mWakeMutex);
            mStopping = true;
        }
        mWake.notify_all();
        mThread.join();
        mTransport->Watch(false);
    }
    if (mLeading) {
        mTransport->Lead(false);
    }
}

int KRVTransportFollower::Start() {
    mTransport->Watch(true);
    try {
        mThread = std::thread(&KRVTransportFollower::Run, this);
    } catch (const std::system_error& error) {
        mTransport->Watch(false);
        return error.code().value();
    }
    return 0;
}

bool KRVTransportFollower::Lead() {
    mTransport->SetLeadBPM(mSequencer.GetBPM());
    mLeading = mTransport->Lead(true);
    return mLeading;
}

bool KRVTransportFollower::SleepUntil(std::uint64_t inDeadlineNS) {
    const std::chrono::steady_clock::time_point deadline{std::chrono::nanoseconds(inDeadlineNS)};
    std::unique_lock<std::mutex> lock(mWakeMutex);
    mWake.wait_until(lock, deadline, [this] { return mStopping; });
    return !mStopping;
}

// Signals are the command thread's; real-time scheduling where allowed.
void KRVTransportFollower::Run() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    sched_param param{};
    param.sched_priority = std::min(kRealtimePriority, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    bool running = false;
    std::int64_t next = 0;
    while (Step(running, next)) {
    }
    if (running) {
        mSequencer.EndTransportRun();
    }
}

// Ticks go as soon as the clock takes them, so the first of a run, due
// where the transport started, goes at once.
bool KRVTransportFollower::Step(bool& ioRunning, std::int64_t& ioNext) {
    if (mLeading) {
        mTransport->SetLeadBPM(mSequencer.GetBPM());
    }
    MIDICLTransport::Position position;
    if (!mTransport->Read(position) || !position.mRolling || position.mFrameRate <= 0) {
        if (ioRunning) {
            mSequencer.EndTransportRun();
            ioRunning = false;
        }
        return SleepUntil(MIDICLMonotonicClock::NowNS() + kPollNS);
    }
    if (mLock.Follow(position, mSequencer.GetBPM(), ioRunning)) {
        if (ioRunning) {
            mSequencer.EndTransportRun();
        }
        ioNext = mLock.GetFirstTick();
        mSequencer.BeginTransportRun(ioNext);
        ioRunning = true;
    }
    mMasterBPM.store(mLock.GetMasterBPM(), std::memory_order_relaxed);
    const std::uint64_t due = mLock.GetDueTime(ioNext);
    if (due > mClock.GetHandOverLimit()) {
        const std::uint64_t poll = MIDICLMonotonicClock::NowNS() + kPollNS;
        return SleepUntil(std::min(poll, mClock.ToMonotonicNS(due)));
    }
    mSequencer.TransportTick(ioNext, due);
    ioNext++;
    return true;
}
