#include "playback/KRVClockFollow.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "MIDICLClock.h"
#include "MIDICLMonotonicClock.h"
#include "model/KRVSequencer.h"
#include "playback/KRVTimerThread.h"

namespace {

constexpr double kTicksPerQuarterNote = KRVSequencer::kTicksPerQuarterNote;
// A MIDI beat, the unit of Song Position: a sixteenth.
constexpr std::int64_t kTicksPerMIDIBeat = 6;
constexpr std::uint64_t kNSPerMS = 1000000;
constexpr std::uint64_t kMaxGapNS = 500 * kNSPerMS;
constexpr double kGapPeriods = 4;
// Each new period counts for this share of the smoothed one: an average
// over about a quarter note, so that a sender's jitter of a few hundred
// microseconds moves the tempo shown by less than a tenth of a bpm, and a
// tempo change shows within a few beats.
constexpr double kSmoothing = 1.0 / 24;

constexpr std::uint8_t kTimingClock = 0xF8;
constexpr std::uint8_t kStart = 0xFA;
constexpr std::uint8_t kContinue = 0xFB;
constexpr std::uint8_t kStop = 0xFC;
constexpr std::uint8_t kSongPosition = 0xF2;

}  // namespace

// A wait longer than the gap is the clock stopping, no period.
void KRVClockTempo::Hear(std::uint64_t inTime, double inUnitsPerSecond) {
    const double period = double(std::int64_t(inTime - mLast)) / inUnitsPerSecond;
    if (mLast != 0 && period > 0 && period * 1e9 <= double(kMaxGapNS)) {
        mPeriod = mPeriod > 0 ? mPeriod + (period - mPeriod) * kSmoothing : period;
    }
    mLast = inTime;
}

double KRVClockTempo::GetBPM() const {
    return mPeriod > 0 ? 60 / (mPeriod * kTicksPerQuarterNote) : 0;
}

std::uint64_t KRVClockTempo::GetGapNS() const {
    const double gap = mPeriod * kGapPeriods * 1e9;
    return mPeriod > 0 && gap < double(kMaxGapNS) ? std::uint64_t(gap) : kMaxGapNS;
}

KRVClockFollower::KRVClockFollower(KRVSequencer& ioSequencer, MIDICLClock& inClock)
    : mSequencer(ioSequencer), mClock(inClock), mStopFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    mInput.SetClockQueue(&mQueue);
}

// The host's thread lets go first, so that nothing is queued for a thread
// that has gone.
KRVClockFollower::~KRVClockFollower() {
    mInput.Close();
    if (mThread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(mStopFd, &one, sizeof one);
        mThread.join();
    }
    if (mStopFd >= 0) {
        close(mStopFd);
    }
}

// Channel messages from the source stay in the input's own queue, unread:
// past its bound they are dropped, which costs the host's thread nothing.
int KRVClockFollower::Start(const KRVMIDIInput::PortMaker& inMakePort, MIDICLEndpointRef inSource) {
    Listen(inMakePort, inSource);
    try {
        mThread = std::thread(&KRVClockFollower::Run, this);
    } catch (const std::system_error& error) {
        mInput.Close();
        return error.code().value();
    }
    return 0;
}

// The old port lets go before the new one hears: the queue keeps one
// writer.
void KRVClockFollower::Listen(const KRVMIDIInput::PortMaker& inMakePort,
                              MIDICLEndpointRef inSource) {
    mSource = MIDICLEndpointRef{};
    mSourceHeard = false;
    mInput.Open(inMakePort, inSource);
    mSource = inSource;
    mSourceHeard = mInput.HearsSource();
}

bool KRVClockFollower::HasLostSource() {
    const bool heard = mInput.HearsSource();
    const bool lost = mSourceHeard && !heard;
    mSourceHeard = heard;
    return lost;
}

bool KRVClockFollower::Wait(int inTimeoutMS) const {
    pollfd fds[2] = {{mQueue.GetWakeFd(), POLLIN, 0}, {mStopFd, POLLIN, 0}};
    poll(fds, 2, inTimeoutMS);
    return (fds[1].revents & POLLIN) == 0;
}

// Rounded up, so that the wake-up finds the gap over.
int KRVClockFollower::GetTimeoutMS() const {
    if (!mRolling) {
        return -1;
    }
    const std::uint64_t deadline = mLastHeardNS + mTempo.GetGapNS();
    const std::uint64_t now = MIDICLMonotonicClock::NowNS();
    return now >= deadline ? 0 : int((deadline - now + kNSPerMS - 1) / kNSPerMS);
}

void KRVClockFollower::Run() {
    KRVTimerThread::PrepareClockThread();
    while (Wait(GetTimeoutMS())) {
        KRVInputMessage message;
        while (mQueue.Pop(message)) {
            Obey(message);
        }
        if (mRolling && MIDICLMonotonicClock::NowNS() - mLastHeardNS > mTempo.GetGapNS()) {
            Halt();
            mTempo.Forget();
        }
    }
    Halt();
}

// Song Position moves a run that plays: what was played for the old place
// ends, and the next clock starts there. A sender may pause its clock
// between Stop and Start: the wait is no period.
void KRVClockFollower::Obey(const KRVInputMessage& inMessage) {
    switch (inMessage.mBytes[0]) {
        case kTimingClock:
            mLastHeardNS = MIDICLMonotonicClock::NowNS();
            mTempo.Hear(inMessage.mTime, mClock.GetUnitsPerSecond());
            mBPM.store(mTempo.GetBPM(), std::memory_order_relaxed);
            if (mStarted) {
                Tick(inMessage.mTime);
            }
            break;
        case kStart:
            Halt();
            mTempo.Forget();
            mNext = 0;
            mStarted = true;
            break;
        case kContinue:
            mStarted = true;
            break;
        case kStop:
            Halt();
            mStarted = false;
            break;
        case kSongPosition:
            Halt();
            mNext = kTicksPerMIDIBeat * (inMessage.mBytes[1] | inMessage.mBytes[2] << 7);
            break;
        default:
            break;
    }
}

void KRVClockFollower::Tick(std::uint64_t inTime) {
    if (!mRolling) {
        mSequencer.BeginTransportRun(mNext);
        mRolling = true;
    }
    mSequencer.TransportTick(mNext, inTime);
    mNext++;
}

void KRVClockFollower::Halt() {
    if (mRolling) {
        mSequencer.EndTransportRun();
        mRolling = false;
    }
}
