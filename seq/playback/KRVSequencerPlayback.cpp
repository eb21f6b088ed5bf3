// The playback side of the sequencer: transport, the clock tick and note
// output. TimerTick runs on the timer thread with the busy flag held; it
// allocates nothing, prints nothing and touches no file.
#include <algorithm>
#include <cmath>

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
    if (!mTimerStarted) {
        return 0;
    }
    StopTimer();
    FireStopAction();
    return mDroppedNotes.exchange(0);
}

void KRVSequencer::Reset() {
    if (mTimerStarted) {
        return;
    }
    mTicks = -1;
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

bool KRVSequencer::IsHeard(int inTrack1, int inStep1) const {
    return StartsNote(GetTrack(inTrack1), GetEvent(inTrack1, inStep1), inStep1 - 1, GetStepCount());
}

// Only whole steps sound, and a gate is shorter than its step, so a heard
// note always ends at its gate.
int KRVSequencer::GetHeardTicks(int inTrack1, int inStep1) const {
    return GateEndTick(GetEvent(inTrack1, inStep1).GetGateTime(), mTicksPerStep);
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
    const std::uint64_t known = std::min<std::uint64_t>(mTicksPlayed, kRecentTicks);
    std::uint64_t ahead = 0;
    while (ahead < known && mRecentDueTimes[(mTicksPlayed - 1 - ahead) % kRecentTicks] >= inNow) {
        ahead++;
    }
    if (ahead == 0) {
        return;
    }
    if (ahead >= mTicksPlayed) {
        mTicks = -1;
        return;
    }
    int ticks = mTicks - static_cast<int>(ahead);
    const int loop = mTicksInLoop;
    while (ticks < 0 && loop > 0) {
        ticks += loop;
    }
    mTicks = std::max(ticks, 0);
}

// After the note-offs, so that a receiver that stops with its clock hears
// every note end first.
void KRVSequencer::StopClocks(std::uint64_t inNow) {
    for (std::size_t index = 0; index < mOutputPorts.size(); ++index) {
        MIDICLOutputPort* port = mOutputPorts[index];
        if (port != nullptr && mClockRunning[index]) {
            port->TrySendStop(Stamp(static_cast<int>(index), inNow));
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
                port->TrySendStop(stamp);
                mClockRunning[index] = false;
            }
            continue;
        }
        if (!mClockRunning[index] && inTick % kTicksPerMIDIBeat == 0) {
            StartClock(portNumber, *port, inTick, stamp);
        }
        if (mClockRunning[index]) {
            port->TrySendClock(stamp);
        }
    }
    mFromTop = false;
}

void KRVSequencer::StartClock(int inPort, MIDICLOutputPort& ioPort, int inTick,
                              std::uint64_t inStamp) {
    std::int32_t status = 0;
    if (mFromTop) {
        status = ioPort.TrySendStart(inStamp);
    } else {
        if (inTick != 0) {
            status = ioPort.TrySendSongPosition(
                static_cast<std::uint16_t>(inTick / kTicksPerMIDIBeat), inStamp);
        }
        status = status != 0 ? status : ioPort.TrySendContinue(inStamp);
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
    mRecentDueTimes[mTicksPlayed++ % kRecentTicks] = inDueTime;
    // The clock of a tick goes before its notes: a receiver places what
    // follows it on that tick.
    SendClockMessages(ticks, inDueTime);
    SendPendingPrograms(inDueTime);
    int tickInStep = ticks % ticksPerStep;
    int step0 = ticks / ticksPerStep;
    // A loop of no ticks plays nothing; the rest of a bar that its steps do
    // not divide is a rest, as no step is shown there; and a grid caught
    // half-changed may point past the events. In each case end what sounds
    // and start nothing.
    bool silent = ticksInLoop <= 0 || step0 >= stepCount || step0 >= kMaxSteps;
    for (auto& track : mTracks) {
        if (silent) {
            EndSoundingNote(*track, inDueTime);
        } else {
            PlayTrack(*track, step0, tickInStep, ticksPerStep, stepCount, inDueTime);
        }
    }
}

// A sounding note ends at its gate, and at the latest when playback moves on
// to another step or comes back to the start of one (a loop wrap, a partial
// last step, a scale change), before anything new starts on the track.
void KRVSequencer::PlayTrack(KRVTrack& ioTrack, int inStep0, int inTickInStep, int inTicksPerStep,
                             int inStepCount, std::uint64_t inDueTime) {
    if (ioTrack.mSoundingStep0 >= 0) {
        const KRVEvent& sounding = ioTrack.mEvents[ioTrack.mSoundingStep0];
        int gateEnd = GateEndTick(sounding.GetGateTime(), inTicksPerStep);
        if (ioTrack.mSoundingStep0 != inStep0 || inTickInStep == 0 || inTickInStep >= gateEnd) {
            EndSoundingNote(ioTrack, inDueTime);
        }
    }
    KRVEvent& event = ioTrack.mEvents[inStep0];
    if (inTickInStep == 0 && StartsNote(ioTrack, event, inStep0, inStepCount) &&
        SendNoteOn(&event, inDueTime)) {
        ioTrack.mSoundingStep0 = inStep0;
    }
}

// Whether the track is in horizontal-solo mode for the grid in view: a
// solo on a step beyond it, kept for when the grid grows again, silences
// nothing now. Read only on a step's first tick of a track that has solos.
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
