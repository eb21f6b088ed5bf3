// The playback side of the sequencer: transport, the clock tick and note
// output. TimerTick runs on the timer thread with the busy flag held; it
// allocates nothing, prints nothing and touches no file.
#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

#include "MIDICLClient.h"
#include "MIDICLMonotonicClock.h"
#include "MIDICLOutputPort.h"
#include "model/KRVSequencer.h"
#include "model/KRVSequencerListener.h"

namespace {

// A MIDI beat, the unit of Song Position: a sixteenth.
constexpr int kTicksPerMIDIBeat = 6;

}  // namespace

// Going on after a pause starts at a sixteenth, the finest place Song
// Position can name, so that a receiver of the clock goes on in step.
int KRVSequencer::Play() {
    if (mClockFollower != nullptr) {
        return 0;
    }
    if (mTransportMode != TransportMode::kOff) {
        return PlayTransport();
    }
    if (mTimerStarted) {
        return 0;
    }
    mFromTop = mTicks < 0;
    if (mFromTop) {
        Reset();
    } else {
        int next = (mTicks + kTicksPerMIDIBeat) / kTicksPerMIDIBeat * kTicksPerMIDIBeat;
        mTicks = (next >= mTicksInLoop ? 0 : next) - 1;
    }
    mPrograms.MarkAllPending();
    mTicksPlayed = 0;
    int error = StartTimer();
    FireStartAction();
    return error;
}

// The count of refused note-ons is handed over here, on the command thread,
// so that whoever stops says it once: the clock thread prints nothing.
std::uint64_t KRVSequencer::Stop() {
    // What the keyboard sounds through krv stops with krv.
    mInput.EndThruNotes();
    if (mTransportMode != TransportMode::kOff) {
        StopTransport();
        return mDroppedNotes.exchange(0);
    }
    if (!mTimerStarted) {
        return 0;
    }
    StopTimer();
    FireStopAction();
    return mDroppedNotes.exchange(0);
}

void KRVSequencer::Reset() {
    if (mTransportMode != TransportMode::kOff) {
        ResetTransport();
        return;
    }
    if (mTimerStarted) {
        return;
    }
    mTicks = -1;
    // The clock is not running, so this thread may touch its generator.
    mChanceDraw.Seed();
    FireClockResetAction();
}

int KRVSequencer::GetGateTicks(int inGatePercent) const {
    return GateTicks(inGatePercent, mTicksPerStep);
}

// Truncated toward zero: with 6 ticks a step, gate 50 lasts 3 ticks.
int KRVSequencer::GateTicks(int inGatePercent, int inTicksPerStep) {
    return static_cast<int>(inGatePercent / 100.0 * inTicksPerStep);
}

// The tick of its step on which the clock ends a note: where its gate ends,
// but no sooner than the tick after the note-on, the first one it can.
int KRVSequencer::GateEndTick(int inGatePercent, int inTicksPerStep) {
    return std::max(GateTicks(inGatePercent, inTicksPerStep), 1);
}

// A ratchet shares the step's ticks among its repeats as evenly as whole
// ticks allow: repeat r of n starts on tick r * ticks / n of the step,
// rounded down, so the first starts with the step and a 6-tick step with 4
// repeats starts them on ticks 0, 1, 3 and 4. A step of fewer ticks than
// the ratchet asks for plays one repeat on each of its ticks. A note held
// over several steps, or tied, plays once, whatever its ratchet.
int KRVSequencer::RepeatCount(const KRVEvent& inEvent, int inTicksPerStep) {
    if (inEvent.GetLength() > 1 || inEvent.IsTied()) {
        return 1;
    }
    return std::clamp(static_cast<int>(inEvent.GetRatchet()), 1, std::max(inTicksPerStep, 1));
}

int KRVSequencer::RepeatStart(int inRepeat0, int inCount, int inTicksPerStep) {
    return inRepeat0 * inTicksPerStep / inCount;
}

// The last repeat that starts on or before the tick.
int KRVSequencer::RepeatAt(int inTickInStep, int inCount, int inTicksPerStep) {
    int repeat0 = ((inTickInStep + 1) * inCount - 1) / inTicksPerStep;
    return std::clamp(repeat0, 0, inCount - 1);
}

// Each repeat's gate is a share of its own ticks, and so it ends at the
// latest on the tick the next repeat starts, its note-off sent before the
// next note-on. Without a ratchet this is the step's gate.
KRVSequencer::Repeat KRVSequencer::RepeatOf(const KRVEvent& inEvent, int inRepeat0,
                                            int inTicksPerStep) {
    if (inEvent.GetLength() > 1) {
        return {0, (inEvent.GetLength() - 1) * inTicksPerStep +
                       GateEndTick(inEvent.GetGateTime(), inTicksPerStep)};
    }
    const int count = RepeatCount(inEvent, inTicksPerStep);
    const int start = RepeatStart(inRepeat0, count, inTicksPerStep);
    const int length = RepeatStart(inRepeat0 + 1, count, inTicksPerStep) - start;
    return {start, GateEndTick(inEvent.GetGateTime(), length)};
}

int KRVSequencer::GetRepeatCount(int inTrack1, int inStep1) const {
    return RepeatCount(GetEvent(inTrack1, inStep1), mTicksPerStep);
}

// A note tied over is one repeat that ends at the gate of the last step
// it covers.
KRVSequencer::Repeat KRVSequencer::GetRepeat(int inTrack1, int inStep1, int inRepeat0) const {
    const KRVTrack& track = GetTrack(inTrack1);
    const int loopSteps = GetLoopSteps(GetStepCount());
    const int tied = TiedSteps(track, inStep1 - 1, loopSteps);
    if (GetEvent(inTrack1, inStep1).GetLength() == 1 && tied > 0) {
        const KRVEvent& last = track.mEvents[(inStep1 - 1 + tied) % loopSteps];
        return {0, tied * mTicksPerStep + GateEndTick(last.GetGateTime(), mTicksPerStep)};
    }
    return RepeatOf(GetEvent(inTrack1, inStep1), inRepeat0, mTicksPerStep);
}

// The steps of the loop, a partial last one included, within the grid.
int KRVSequencer::GetLoopSteps(int inStepCount) const {
    const int ticksPerStep = mTicksPerStep;
    return std::min((mTicksInLoop + ticksPerStep - 1) / ticksPerStep, inStepCount);
}

// Each tied step joins the next step of the loop (after its last, its
// first) when that one holds the same note; never all the way round to
// the note's own step.
int KRVSequencer::TiedSteps(const KRVTrack& inTrack, int inStep0, int inLoopSteps) {
    const std::uint8_t note = inTrack.mEvents[inStep0].GetNote();
    int covered = 0;
    for (int step0 = inStep0; covered < inLoopSteps - 1 && inTrack.mEvents[step0].IsTied();
         covered++) {
        step0 = (step0 + 1) % inLoopSteps;
        if (inTrack.mEvents[step0].GetNote() != note) {
            break;
        }
    }
    return covered;
}

// A length of several steps beats the ties.
int KRVSequencer::CoveredSteps(const KRVTrack& inTrack, int inStep0, int inLoopSteps) {
    const int length = inTrack.mEvents[inStep0].GetLength();
    return length > 1 ? length - 1 : TiedSteps(inTrack, inStep0, inLoopSteps);
}

// The real time of a tick within a step of the track that the clock
// reaches (see PlaceOf), or the next step's start where it never does.
std::int64_t KRVSequencer::SwungTime(int inTrack1, int inStep0, int inTickInStep) const {
    const int shift = SwingShift(GetSwingOf(inTrack1), inStep0, mTicksPerStep);
    const std::int64_t stepStart = std::int64_t{inStep0} * mTicksPerStep * 50;
    if (inTickInStep + shift / 50 >= mTicksPerStep) {
        return stepStart + mTicksPerStep * 50;
    }
    return stepStart + inTickInStep * 50 + shift;
}

KRVSequencer::Span KRVSequencer::GetSpan(int inTrack1, int inStep1, int inRepeat0) const {
    const Repeat repeat = GetRepeat(inTrack1, inStep1, inRepeat0);
    const int end = repeat.mStartTick + repeat.mTicks;
    const std::int64_t start = SwungTime(inTrack1, inStep1 - 1, repeat.mStartTick);
    const std::int64_t stop =
        SwungTime(inTrack1, inStep1 - 1 + end / mTicksPerStep, end % mTicksPerStep);
    // A repeat that would start past the next step's start never does.
    if (repeat.mStartTick + GetSwingShift(inTrack1, inStep1) / 50 >= mTicksPerStep) {
        return {start, start};
    }
    return LegatoSpan(inTrack1, inStep1, inRepeat0, {start, stop});
}

// A note struck again on the sound it holds cannot overlap itself: its
// note-off goes first.
bool KRVSequencer::IsSameSound(const KRVEvent& inPlaying, const KRVEvent& inNext) {
    return inPlaying.mNotePlaying == inNext.mNote && inPlaying.mChannelPlaying == inNext.mChannel &&
           inPlaying.mPortPlaying == inNext.mPort;
}

// A legato repeat ends where the next note of the track starts: the step's
// next repeat, else the step after the last one the note covers, when that
// one plays (after the loop's last step, the first, at the loop's end).
// The clock holds the note there even when the next step's chance then
// says no, so the end does not depend on the draw.
KRVSequencer::Span KRVSequencer::LegatoSpan(int inTrack1, int inStep1, int inRepeat0,
                                            Span inSpan) const {
    const KRVTrack& track = GetTrack(inTrack1);
    if (!track.IsLegato() || inSpan.mEnd <= inSpan.mStart) {
        return inSpan;
    }
    const int step0 = inStep1 - 1;
    const KRVEvent& event = track.mEvents[step0];
    const int count = RepeatCount(event, mTicksPerStep);
    if (inRepeat0 + 1 < count) {
        const int next = RepeatStart(inRepeat0 + 1, count, mTicksPerStep);
        return {inSpan.mStart, std::max(inSpan.mEnd, SwungTime(inTrack1, step0, next))};
    }
    const int stepCount = GetStepCount();
    const int loopSteps = GetLoopSteps(stepCount);
    const int after0 = step0 + CoveredSteps(track, step0, loopSteps) + 1;
    const KRVEvent& next = track.mEvents[after0 % loopSteps];
    if (!StartsNote(track, next, after0 % loopSteps, stepCount)) {
        return inSpan;
    }
    // After the loop's last step the note sounds until the wrap, or until
    // the rest of a bar that no step shows, which silences every track.
    const std::int64_t wrap = std::min(mTicksInLoop.Load(), stepCount * mTicksPerStep) * 50;
    const std::int64_t nextStart = after0 >= loopSteps ? wrap : SwungTime(inTrack1, after0, 0);
    const bool overlaps =
        after0 % loopSteps != step0 &&
        (next.mNote != event.mNote || next.mChannel != event.mChannel || next.mPort != event.mPort);
    return {inSpan.mStart, std::max(inSpan.mEnd, nextStart), overlaps};
}

bool KRVSequencer::IsLegatoInto(int inTrack1, int inStep1) const {
    const KRVTrack& track = GetTrack(inTrack1);
    const int stepCount = GetStepCount();
    const int loopSteps = GetLoopSteps(stepCount);
    const int step0 = inStep1 - 1;
    if (!track.IsLegato() || step0 >= loopSteps ||
        !StartsNote(track, track.mEvents[step0], step0, stepCount)) {
        return false;
    }
    // A step an earlier note covers starts nothing.
    for (int back = 1; back < loopSteps; back++) {
        const int from0 = (step0 - back + loopSteps) % loopSteps;
        if (CoveredSteps(track, from0, loopSteps) >= back &&
            StartsNote(track, track.mEvents[from0], from0, stepCount)) {
            return false;
        }
    }
    const int after0 = (step0 + CoveredSteps(track, step0, loopSteps) + 1) % loopSteps;
    return StartsNote(track, track.mEvents[after0], after0, stepCount);
}

// The clock draws on each step's first tick, track after track, for the
// notes it would start that have a chance below 100, but on none that a
// held note covers; so does this, on a generator of its own seeded as a
// reset seeds the clock's.
std::vector<std::uint64_t> KRVSequencer::DrawFirstPass() const {
    std::vector<std::uint64_t> heard(mTracks.size(), 0);
    std::vector<int> coverLeft(mTracks.size(), 0);
    KRVChanceDraw draw;
    const int stepCount = GetStepCount();
    const int loopSteps = GetLoopSteps(stepCount);
    std::vector<std::size_t> order(mTracks.size());
    for (int step0 = 0; step0 < std::min(GetLoopStep() - 1, stepCount); step0++) {
        // Swung tracks draw when their step comes: the less late first.
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t inA, std::size_t inB) {
            return SwingShift(SwingOf(*mTracks[inA]), step0, mTicksPerStep) <
                   SwingShift(SwingOf(*mTracks[inB]), step0, mTicksPerStep);
        });
        for (std::size_t track0 : order) {
            const KRVEvent& event = mTracks[track0]->mEvents[step0];
            if (coverLeft[track0] > 0) {
                coverLeft[track0]--;
            } else if (StartsNote(*mTracks[track0], event, step0, stepCount) &&
                       draw.Plays(event.GetChance())) {
                heard[track0] |= std::uint64_t{1} << step0;
                coverLeft[track0] = CoveredSteps(*mTracks[track0], step0, loopSteps);
            }
        }
    }
    return heard;
}

// A port with a negative latency stamps before the tick: the grid starts
// that much later, so that its first messages too can be placed exactly.
int KRVSequencer::StartTimer() {
    StopTimer();
    int earliestMS = 0;
    for (int port = 0; port < GetPortCount(); port++) {
        earliestMS = std::min(earliestMS, mPortTiming.GetLatency(port));
    }
    mEarlyUnits = static_cast<std::uint64_t>(
        std::llround(-earliestMS * GetClock().GetUnitsPerSecond() / 1000));
    int error = mTimer.Start([this](std::uint64_t inDueTime) { TimerTick(inDueTime); },
                             [this] { return mTimerPeriodNS.Load(); }, GetClock(), mEarlyUnits);
    // Counts as playing even without ticks, so that Stop leaves normally.
    mTimerStarted = true;
    return error;
}

void KRVSequencer::StopTimer() {
    if (!mTimerStarted) {
        return;
    }
    mTimer.Stop();
    SendAllNotesOff();
    mTimerStarted = false;
}

bool KRVSequencer::IsOutputGone() const {
    for (MIDICLOutputPort* port : mOutputPorts) {
        if (port != nullptr && port->IsHostGone()) {
            return true;
        }
    }
    return false;
}

// All ports of a run share one host, and so one clock; with no port the
// stamps go nowhere and any clock will do.
MIDICLClock& KRVSequencer::GetClock() const {
    for (MIDICLOutputPort* port : mOutputPorts) {
        if (port != nullptr) {
            return port->GetClock();
        }
    }
    return MIDICLMonotonicClock::Shared();
}

// The clock thread hands ticks over a little ahead of time, and a port may
// hold back what its server cannot take at once. Nothing must start after
// the stop: the note-offs of what sounds go first, then each port withdraws
// the note-ons it still holds, with their note-offs, and sends the rest.
// The stop is where the grid is now, which started as much later as the
// earliest port sends early: that port stops early too.
void KRVSequencer::SendAllNotesOff() {
    KRVBusyClaim claim(mSequencerIsBusy);
    std::uint64_t now = GetClock().Now() + mEarlyUnits;
    for (auto& track : mTracks) {
        EndSoundingNote(*track, now);
    }
    for (std::size_t index = 0; index < mOutputPorts.size(); ++index) {
        if (MIDICLOutputPort* port = mOutputPorts[index]) {
            port->WithdrawPending(Stamp(static_cast<int>(index), now));
        }
    }
    StopClocks(now);
    RewindUnheard(now);
}

void KRVSequencer::RewindUnheard(std::uint64_t inNow) {
    const std::uint64_t ahead = CountUnheard(inNow);
    if (ahead == 0) {
        return;
    }
    mTicks = ahead >= mTicksPlayed ? -1 : TicksBack(mTicks, ahead);
}

std::uint64_t KRVSequencer::CountUnheard(std::uint64_t inNow) const {
    const std::uint64_t known = std::min<std::uint64_t>(mTicksPlayed, kRecentTicks);
    std::uint64_t ahead = 0;
    while (ahead < known && mRecentDueTimes[(mTicksPlayed - 1 - ahead) % kRecentTicks] >= inNow) {
        ahead++;
    }
    return ahead;
}

int KRVSequencer::TicksBack(int inTicks, std::uint64_t inBack) const {
    int ticks = inTicks - static_cast<int>(inBack);
    const int loop = mTicksInLoop;
    while (ticks < 0 && loop > 0) {
        ticks += loop;
    }
    return std::max(ticks, 0);
}

// What sounds is where the grid is now, as a stop finds it.
int KRVSequencer::GetSoundingStep() {
    KRVBusyClaim claim(mSequencerIsBusy);
    if (mTicks < 0 || !IsPlaying()) {
        return -1;
    }
    const std::uint64_t ahead = CountUnheard(GetClock().Now() + mEarlyUnits);
    if (ahead >= mTicksPlayed) {
        return -1;
    }
    return TicksBack(mTicks, ahead) / mTicksPerStep;
}

// After the note-offs, so that a receiver that stops with its clock hears
// every note end first.
void KRVSequencer::StopClocks(std::uint64_t inNow) {
    for (std::size_t index = 0; index < mOutputPorts.size(); ++index) {
        MIDICLOutputPort* port = mOutputPorts[index];
        if (port != nullptr && mClockRunning[index]) {
            port->TrySendRealTime(MIDICLClient::kMIDIStopMessage,
                                  Stamp(static_cast<int>(index), inNow));
        }
        mClockRunning[index] = false;
    }
}

// A port with no latency costs nothing here; one with a latency asks the
// clock for its rate, a plain read.
std::uint64_t KRVSequencer::Stamp(int inPort, std::uint64_t inDueTime) const {
    const int latencyMS = mPortTiming.GetLatency(inPort);
    if (inDueTime == 0 || latencyMS == 0) {
        return inDueTime;
    }
    const auto offset =
        static_cast<std::int64_t>(std::llround(latencyMS * GetClock().GetUnitsPerSecond() / 1000));
    const std::int64_t stamped = static_cast<std::int64_t>(inDueTime) + offset;
    // Never 0, which would mean "now" rather than early.
    return stamped > 0 ? static_cast<std::uint64_t>(stamped) : 1;
}

// Each port that sends clock hears of the run once (Start from the top,
// else Song Position and Continue), on a sixteenth, then a timing clock
// every tick; one whose clock was turned off hears Stop. A message the port
// refuses for want of room is dropped, and an announcement tried again at
// the next sixteenth: the clock thread never waits for a receiver.
void KRVSequencer::SendClockMessages(int inTick, std::uint64_t inDueTime) {
    for (std::size_t index = 0; index < mOutputPorts.size(); ++index) {
        MIDICLOutputPort* port = mOutputPorts[index];
        const int portNumber = static_cast<int>(index);
        if (port == nullptr) {
            continue;
        }
        const std::uint64_t stamp = Stamp(portNumber, inDueTime);
        if (!mPortTiming.SendsClock(portNumber)) {
            if (mClockRunning[index]) {
                port->TrySendRealTime(MIDICLClient::kMIDIStopMessage, stamp);
                mClockRunning[index] = false;
            }
            continue;
        }
        if (!mClockRunning[index] && inTick % kTicksPerMIDIBeat == 0) {
            StartClock(portNumber, *port, inTick, stamp);
        }
        if (mClockRunning[index]) {
            port->TrySendRealTime(MIDICLClient::kMIDIClockMessage, stamp);
        }
    }
    mFromTop = false;
}

void KRVSequencer::StartClock(int inPort, MIDICLOutputPort& ioPort, int inTick,
                              std::uint64_t inStamp) {
    std::int32_t status = 0;
    if (mFromTop) {
        status = ioPort.TrySendRealTime(MIDICLClient::kMIDIStartMessage, inStamp);
    } else {
        if (inTick != 0) {
            status = ioPort.TrySendSongPosition(
                static_cast<std::uint16_t>(inTick / kTicksPerMIDIBeat), inStamp);
        }
        status = status != 0 ? status
                             : ioPort.TrySendRealTime(MIDICLClient::kMIDIContinueMessage, inStamp);
    }
    mClockRunning[static_cast<std::size_t>(inPort)] = status == 0;
}

// A program a port refuses for want of room is tried again next tick; on
// a port that is not there it is dropped.
void KRVSequencer::SendPendingPrograms(std::uint64_t inDueTime) {
    mPrograms.SendPending([this, inDueTime](int inPort, int inChannel0, int inProgram0) {
        MIDICLOutputPort* port = GetPort(inPort);
        return port == nullptr || port->TrySendProgramChange(static_cast<std::uint8_t>(inChannel0),
                                                             static_cast<std::uint8_t>(inProgram0),
                                                             Stamp(inPort, inDueTime)) == 0;
    });
}

void KRVSequencer::TimerTick(std::uint64_t inDueTime) {
    KRVBusyClaim claim(mSequencerIsBusy);
    // What a port held back for want of room goes before anything new.
    for (MIDICLOutputPort* port : mOutputPorts) {
        if (port != nullptr) {
            port->Flush();
        }
    }
    // Each shared value is read once, so the tick works on one consistent
    // picture even while a command changes the grid.
    int ticksInLoop = mTicksInLoop;
    int ticksPerStep = mTicksPerStep;
    int stepCount = mTicksInSequence / ticksPerStep;
    int ticks = mTicks + 1;
    if (ticks >= ticksInLoop) {
        ticks = 0;
    }
    mTicks = ticks;
    mRecentLoopTicks[mTicksPlayed % kRecentTicks] = ticks;
    mRecentDueTimes[mTicksPlayed++ % kRecentTicks] = inDueTime;
    // The clock of a tick goes before its notes: a receiver places what
    // follows it on that tick.
    SendClockMessages(ticks, inDueTime);
    SendPendingPrograms(inDueTime);
    int step0 = ticks / ticksPerStep;
    // A loop of no ticks plays nothing; the rest of a bar that its steps do
    // not divide is a rest, as no step is shown there; and a grid caught
    // half-changed may point past the events. In each case end what sounds
    // and start nothing.
    bool silent = ticksInLoop <= 0 || step0 >= stepCount || step0 >= kMaxSteps;
    if (silent) {
        for (auto& track : mTracks) {
            EndSoundingNote(*track, inDueTime);
        }
        return;
    }
    PlayTracks(ticks, ticksPerStep, stepCount, inDueTime);
}

// The 2nd, 4th, ... step (inStep0 odd) starts (percent - 50) / 50 of a step
// late: in fiftieths of a tick, (percent - 50) times the step's ticks.
int KRVSequencer::SwingShift(int inPercent, int inStep0, int inTicksPerStep) {
    if (inStep0 % 2 == 0 || inPercent <= kStraightSwing) {
        return 0;
    }
    return (inPercent - kStraightSwing) * inTicksPerStep;
}

int KRVSequencer::GetSwingShift(int inTrack1, int inStep1) const {
    return SwingShift(GetSwingOf(inTrack1), inStep1 - 1, mTicksPerStep);
}

// A swung step plays its own ticks from as many whole ticks into the step
// as its shift holds; on the ticks before, the track has nothing to do (the
// step before has played all of its own). The ticks of the swung step that
// would fall past the next step's start never come: its note ends there at
// the latest, as every note ends when playback moves on.
KRVSequencer::Place KRVSequencer::PlaceOf(const KRVTrack& inTrack, int inTicks,
                                          int inTicksPerStep) const {
    const int step0 = inTicks / inTicksPerStep;
    const int tick = inTicks % inTicksPerStep;
    const int shift = SwingShift(SwingOf(inTrack), step0, inTicksPerStep);
    if (tick < shift / 50) {
        return {step0, -1, 0};
    }
    return {step0, tick - shift / 50, shift % 50};
}

// The clock's grid stays on whole ticks (24 a quarter, the rate of the MIDI
// clock it sends); a swung step's messages go out on the tick before their
// time, stamped with their own exact time, a share of the tick period
// later. A port places what it is handed in the order handed, no earlier
// than what came before (JACK writes a cycle's events in order), so the
// tick's messages go out in the order of their stamps: those on the tick
// first, then the tracks of each share, the smallest share first.
void KRVSequencer::PlayTracks(int inTicks, int inTicksPerStep, int inStepCount,
                              std::uint64_t inDueTime) {
    std::uint64_t shares = 0;
    for (auto& track : mTracks) {
        const Place place = PlaceOf(*track, inTicks, inTicksPerStep);
        if (place.mShare != 0) {
            shares |= std::uint64_t{1} << place.mShare;
        } else if (place.mTickInStep >= 0) {
            PlayTrack(*track, place.mStep0, place.mTickInStep, inTicksPerStep, inStepCount,
                      inDueTime);
        }
    }
    const double periodUnits =
        shares == 0 ? 0 : double(mTimerPeriodNS.Load()) * GetClock().GetUnitsPerSecond() / 1e9;
    while (shares != 0) {
        const int share = std::countr_zero(shares);
        shares &= shares - 1;
        // 0 stays "now".
        const std::uint64_t due =
            inDueTime == 0
                ? 0
                : inDueTime + static_cast<std::uint64_t>(std::llround(share * periodUnits / 50));
        for (auto& track : mTracks) {
            const Place place = PlaceOf(*track, inTicks, inTicksPerStep);
            if (place.mShare == share && place.mTickInStep >= 0) {
                PlayTrack(*track, place.mStep0, place.mTickInStep, inTicksPerStep, inStepCount,
                          due);
            }
        }
    }
}

// The newest tick due at or before the time, or the oldest kept when the
// time is older still; from there the tempo now carries on.
bool KRVSequencer::GetPlayedAt(std::uint64_t inTime, PlayedAt* outAt) {
    KRVBusyClaim claim(mSequencerIsBusy);
    if (mTicksPlayed == 0) {
        return false;
    }
    const double unitsPerTick = mTimerPeriodNS * GetClock().GetUnitsPerSecond() / 1e9;
    const auto heard = static_cast<std::int64_t>(inTime - GetClock().GetHeardDelay());
    const std::uint64_t known = std::min<std::uint64_t>(mTicksPlayed, kRecentTicks);
    std::uint64_t tick = mTicksPlayed - 1;
    while (tick > mTicksPlayed - known &&
           static_cast<std::int64_t>(mRecentDueTimes[tick % kRecentTicks]) > heard) {
        tick--;
    }
    const auto due = static_cast<std::int64_t>(mRecentDueTimes[tick % kRecentTicks]);
    const double fraction = static_cast<double>(heard - due) / unitsPerTick;
    outAt->mTicksPlayed = static_cast<double>(tick) + fraction;
    outAt->mLoopTick = mRecentLoopTicks[tick % kRecentTicks] + fraction;
    return true;
}

bool KRVSequencer::GetPlayedNow(PlayedAt* outAt) {
    return GetPlayedAt(GetClock().Now(), outAt);
}

std::uint64_t KRVSequencer::GetClockNow() const {
    return GetClock().Now();
}

double KRVSequencer::ToSeconds(std::uint64_t inTime) const {
    return static_cast<double>(inTime) / GetClock().GetUnitsPerSecond();
}

// A sounding note ends at its gate, and at the latest when playback moves on
// to another step or repeat or comes back to the start of one (a loop wrap,
// a partial last step, a scale change), before anything new starts on the
// track.
void KRVSequencer::PlayTrack(KRVTrack& ioTrack, int inStep0, int inTickInStep, int inTicksPerStep,
                             int inStepCount, std::uint64_t inDueTime) {
    if (HoldsOver(ioTrack, inStep0, inTickInStep, inTicksPerStep, inStepCount, inDueTime)) {
        return;
    }
    KRVEvent& event = ioTrack.mEvents[inStep0];
    const int count = RepeatCount(event, inTicksPerStep);
    const bool atStart = inTickInStep == RepeatStart(RepeatAt(inTickInStep, count, inTicksPerStep),
                                                     count, inTicksPerStep);
    if (ioTrack.mSoundingStep0 >= 0) {
        EndAtGate(ioTrack, inStep0, inTickInStep, inTicksPerStep, inStepCount, atStart, inDueTime);
    }
    if (!atStart) {
        return;
    }
    // The chance is drawn once a pass, for the note the step would start;
    // a mute or solo set since still silences the later repeats.
    const bool starts = StartsNote(ioTrack, event, inStep0, inStepCount);
    if (inTickInStep == 0) {
        ioTrack.mStepDrawn = starts && mChanceDraw.Plays(event.GetChance());
    }
    const bool plays = starts && ioTrack.mStepDrawn;
    int held0 = ioTrack.mLegatoHeld ? ioTrack.mSoundingStep0 : -1;
    if (held0 >= 0 && (!plays || held0 == inStep0 || IsSameSound(ioTrack.mEvents[held0], event))) {
        EndSoundingNote(ioTrack, inDueTime);
        held0 = -1;
    }
    if (plays && SendNoteOn(&event, inDueTime)) {
        EndLegatoNote(ioTrack, held0, inDueTime);
        ioTrack.mSoundingStep0 = inStep0;
        ioTrack.mCoverLeft = CoveredSteps(ioTrack, inStep0, GetLoopSteps(inStepCount));
        ioTrack.mTiedOver = event.GetLength() == 1 && ioTrack.mCoverLeft > 0;
    } else if (held0 >= 0) {
        EndSoundingNote(ioTrack, inDueTime);
    }
}

// The sounding note ends at its gate, or, on a legato track, waits past it
// for the next note-on (see HoldsLegato); a waiting note goes where no
// note-on can come, or with a mute or solo of its own step.
void KRVSequencer::EndAtGate(KRVTrack& ioTrack, int inStep0, int inTickInStep, int inTicksPerStep,
                             int inStepCount, bool inAtStart, std::uint64_t inDueTime) {
    const KRVEvent& sounding = ioTrack.mEvents[ioTrack.mSoundingStep0];
    const int count = RepeatCount(sounding, inTicksPerStep);
    const Repeat repeat =
        RepeatOf(sounding, RepeatAt(inTickInStep, count, inTicksPerStep), inTicksPerStep);
    const bool movesOn = ioTrack.mSoundingStep0 != inStep0 || inTickInStep == repeat.mStartTick;
    // A note still to hold over is not ended by its own step's gate.
    const bool atGate =
        ioTrack.mCoverLeft == 0 && inTickInStep >= repeat.mStartTick + repeat.mTicks;
    if (ioTrack.mLegatoHeld) {
        if ((movesOn && !inAtStart) ||
            !StartsNote(ioTrack, sounding, ioTrack.mSoundingStep0, inStepCount)) {
            EndSoundingNote(ioTrack, inDueTime);
        }
    } else if (movesOn) {
        // A legato note whose gate reaches the next step or repeat (or
        // that a swing cuts short there) runs into its note as well.
        HoldOrEnd(ioTrack, ioTrack.IsLegato() && inAtStart, inDueTime);
    } else if (atGate) {
        HoldOrEnd(ioTrack, HoldsLegato(ioTrack, inStep0, inTickInStep, inTicksPerStep, inStepCount),
                  inDueTime);
    }
}

// A legato note at its end waits for the next note-on; any other ends.
void KRVSequencer::HoldOrEnd(KRVTrack& ioTrack, bool inHolds, std::uint64_t inDueTime) {
    ioTrack.mLegatoHeld = inHolds;
    if (!inHolds) {
        EndSoundingNote(ioTrack, inDueTime);
    }
}

// On a legato track a note at its gate sounds on while the next note of
// the track is to come: the step's next repeat, or the next step of the
// loop when it would play (its chance is drawn only as it comes).
bool KRVSequencer::HoldsLegato(const KRVTrack& inTrack, int inStep0, int inTickInStep,
                               int inTicksPerStep, int inStepCount) const {
    if (!inTrack.IsLegato()) {
        return false;
    }
    if (inTrack.mSoundingStep0 == inStep0 && inTrack.mCoveredStep0 != inStep0) {
        const int count = RepeatCount(inTrack.mEvents[inStep0], inTicksPerStep);
        if (RepeatAt(inTickInStep, count, inTicksPerStep) + 1 < count) {
            return true;
        }
    }
    const int loopSteps = GetLoopSteps(inStepCount);
    if (loopSteps <= 0) {
        return false;
    }
    const int next0 = (inStep0 + 1) % loopSteps;
    return StartsNote(inTrack, inTrack.mEvents[next0], next0, inStepCount);
}

// The next note-on goes first, then the held note's note-off, on the same
// tick and stamp: a port hands out messages of one time in the order it
// took them (JACK writes a cycle's events in order, ALSA's port sends each
// directly as it comes), so a mono synth finds the new key down while the
// old one is held, and glides or slurs. A tick later
// would sound both notes together for a whole tick (20 ms at 120 bpm), a
// chord on a polyphonic synth, and hold a note on past its next one.
void KRVSequencer::EndLegatoNote(KRVTrack& ioTrack, int inHeld0, std::uint64_t inDueTime) {
    if (inHeld0 >= 0) {
        SendNoteOff(&ioTrack.mEvents[inHeld0], inDueTime);
    }
    ioTrack.mLegatoHeld = false;
}

// A note held over several steps takes the next step, on its first tick,
// while it has steps left to cover (after the loop's last step comes its
// first): it is not started again there, nor is the step's own note. It
// ends at its gate in the last step it covers, at the latest as the step
// after begins, and as soon as its own step would no longer play (a mute,
// a solo elsewhere). Returns whether inStep0 is a covered step.
bool KRVSequencer::HoldsOver(KRVTrack& ioTrack, int inStep0, int inTickInStep, int inTicksPerStep,
                             int inStepCount, std::uint64_t inDueTime) {
    if (inTickInStep == 0) {
        ioTrack.mCoveredStep0 = -1;
        if (ioTrack.mSoundingStep0 >= 0 && ioTrack.mCoverLeft > 0) {
            ioTrack.mCoverLeft--;
            ioTrack.mCoveredStep0 = inStep0;
        }
    }
    if (ioTrack.mCoveredStep0 != inStep0) {
        return false;
    }
    if (ioTrack.mSoundingStep0 >= 0) {
        const KRVEvent& held = ioTrack.mEvents[ioTrack.mSoundingStep0];
        const KRVEvent& gate = ioTrack.mTiedOver ? ioTrack.mEvents[inStep0] : held;
        const bool atGate = ioTrack.mCoverLeft == 0 && !ioTrack.mLegatoHeld &&
                            inTickInStep >= GateEndTick(gate.GetGateTime(), inTicksPerStep);
        if (!StartsNote(ioTrack, held, ioTrack.mSoundingStep0, inStepCount)) {
            EndSoundingNote(ioTrack, inDueTime);
        } else if (atGate) {
            HoldOrEnd(ioTrack,
                      HoldsLegato(ioTrack, inStep0, inTickInStep, inTicksPerStep, inStepCount),
                      inDueTime);
        }
    }
    return true;
}

// Whether the track is in horizontal-solo mode for the grid in view: a
// solo on a step beyond it, kept for when the grid grows again, silences
// nothing now. Read only where a note may start or a held note goes on (a
// step's first tick, a repeat's, a covered step's), of a track that has
// solos.
static bool HasHSoloWithin(const KRVTrack& inTrack, int inStepCount) {
    if (inTrack.GetHSoloCount() == 0) {
        return false;
    }
    for (int step1 = 1; step1 <= inStepCount; step1++) {
        if (inTrack.GetEvent(step1).IsHSoloed()) {
            return true;
        }
    }
    return false;
}

// Only the steps in view sound. Vertical solo of the step beats horizontal
// solo of the track; silence (velocity or gate 0) and mutes, of the step
// or of its track, beat both.
bool KRVSequencer::StartsNote(const KRVTrack& inTrack, const KRVEvent& inEvent, int inStep0,
                              int inStepCount) const {
    if (inStep0 >= inStepCount || inTrack.IsMuted() || inEvent.IsMuted() ||
        inEvent.GetVelocity() == 0 || inEvent.GetGateTime() == 0) {
        return false;
    }
    if (mVSoloed[inStep0]) {
        return inEvent.IsVSoloed();
    }
    if (HasHSoloWithin(inTrack, inStepCount)) {
        return inEvent.IsHSoloed();
    }
    return true;
}

void KRVSequencer::EndSoundingNote(KRVTrack& ioTrack, std::uint64_t inDueTime) {
    if (ioTrack.mSoundingStep0 < 0) {
        return;
    }
    SendNoteOff(&ioTrack.mEvents[ioTrack.mSoundingStep0], inDueTime);
    ioTrack.mSoundingStep0 = -1;
    ioTrack.mCoverLeft = 0;
    ioTrack.mLegatoHeld = false;
}

// The playing record is written even when no port is there, so that the
// note-off bookkeeping stays the same. A note-on the port refuses (its queue
// is full) is counted and not recorded: it sounds nowhere, so it needs no
// note-off, and the port keeps the room for the note-offs of those it took.
// Refusals come back as a status, never as an exception: throwing allocates,
// and this runs on the clock thread exactly when the machine is overloaded.
bool KRVSequencer::SendNoteOn(KRVEvent* ioEvent, std::uint64_t inDueTime) {
    std::uint8_t channel = ioEvent->mChannel;
    std::uint8_t note = ioEvent->mNote;
    std::uint8_t port = ioEvent->mPort;
    MIDICLOutputPort* output = GetPort(port);
    if (output != nullptr && mPortConnecting[port]) {
        return false;
    }
    if (output != nullptr &&
        output->TrySendNoteOn(channel, note, ioEvent->mVelocity, Stamp(port, inDueTime)) != 0) {
        mDroppedNotes.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    ioEvent->mNotePlaying = note;
    ioEvent->mChannelPlaying = channel;
    ioEvent->mPortPlaying = port;
    ioEvent->mIsNoteOn = true;
    return true;
}

// Note-offs go where the note went, whatever was edited since. One the port
// refuses is not retried: the note is taken as ended either way.
void KRVSequencer::SendNoteOff(KRVEvent* ioEvent, std::uint64_t inDueTime) {
    if (MIDICLOutputPort* output = GetPort(ioEvent->mPortPlaying)) {
        output->TrySendNoteOff(ioEvent->mChannelPlaying, ioEvent->mNotePlaying, 0,
                               Stamp(ioEvent->mPortPlaying, inDueTime));
    }
    ioEvent->mIsNoteOn = false;
}
