#include "model/KRVSequencer.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

#include "MIDICLClock.h"
#include "MIDICLOutputPort.h"
#include "actions/KRVSelectionAction.h"
#include "model/KRVSequencerListener.h"
#include "playback/KRVClockFollow.h"
#include "playback/KRVTransportFollow.h"

KRVSequencer::KRVSequencer() = default;

KRVSequencer::~KRVSequencer() {
    // The owner stops playback first; should it not, no tick may outlive the
    // ports and no note may be left sounding.
    mClockFollower.reset();
    mFollower.reset();
    StopTimer();
    mInput.Close();
    for (MIDICLOutputPort*& port : mOutputPorts) {
        delete port;
        port = nullptr;
    }
}

// ---- structure ----

// The longer list is made aside and exchanged whole, so that the tick never
// waits on an allocation; the old one goes after the tick may run again.
int KRVSequencer::AddPort(MIDICLOutputPort* inOutputPort, bool inConnecting) {
    std::vector<MIDICLOutputPort*> ports;
    ports.reserve(mOutputPorts.size() + 1);
    ports = mOutputPorts;
    ports.push_back(inOutputPort);
    std::vector<bool> running = mClockRunning;
    running.push_back(false);
    std::vector<bool> connecting = mPortConnecting;
    connecting.push_back(inConnecting);
    {
        KRVBusyClaim claim(mSequencerIsBusy);
        mOutputPorts.swap(ports);
        mClockRunning.swap(running);
        mPortConnecting.swap(connecting);
    }
    FirePortListChangedAction();
    return GetPortCount() - 1;
}

// The clock may be sending on the port: it waits for the new connection.
void KRVSequencer::SetPortDestination(int inPort, MIDICLEndpointRef inDestination) {
    if (MIDICLOutputPort* port = GetPort(inPort)) {
        KRVBusyClaim claim(mSequencerIsBusy);
        port->SetDestination(inDestination);
    }
}

int KRVSequencer::AddListener(KRVSequencerListener* inListener) {
    mListeners.push_back(inListener);
    return static_cast<int>(mListeners.size()) - 1;
}

int KRVSequencer::AddTrack(const KRVTrack& inTrackObject) {
    if (!CanAddTrack()) {
        return -1;
    }
    // Copy construction: the new track takes the content and mute flag only.
    return AddTrack(std::make_unique<KRVTrack>(inTrackObject));
}

int KRVSequencer::AddTrack(std::unique_ptr<KRVTrack> inTrack) {
    if (!CanAddTrack()) {
        return -1;
    }
    KRVBusyClaim claim(mSequencerIsBusy);
    mTracks.push_back(std::move(inTrack));
    FireTrackAddedAction(GetTrackCount() - 1);
    return GetTrackCount();
}

int KRVSequencer::AddTrack(const KRVTrack& inTrackObject, int inTrack1) {
    // A position past the end pads with default tracks up to it, so the
    // position itself counts against the limit.
    if (!CanAddTrack(inTrack1)) {
        return -1;
    }
    KRVBusyClaim claim(mSequencerIsBusy);
    int index = inTrack1 - 1;
    if (index >= GetTrackCount()) {
        // Fill any gap with default tracks, then append.
        while (GetTrackCount() < index) {
            mTracks.push_back(std::make_unique<KRVTrack>());
            FireTrackAddedAction(GetTrackCount() - 1);
        }
        mTracks.push_back(std::make_unique<KRVTrack>(inTrackObject));
    } else {
        auto position = mTracks.begin() + std::max(index, 0);
        mTracks.insert(position, std::make_unique<KRVTrack>(inTrackObject));
        // The new track has no selection; those after it move up.
        mSelectedTracks0.OpenAt(std::max(index, 0));
    }
    // Listeners hear the position asked for, also when it was 0 or below.
    FireTrackAddedAction(index);
    return inTrack1;
}

void KRVSequencer::DeleteTrack(int inTrack1) {
    KRVBusyClaim claim(mSequencerIsBusy);
    int index = inTrack1 - 1;
    if (index < 0 || index >= GetTrackCount()) {
        return;
    }
    MuteTrack(inTrack1);
    EndSoundingNote(GetTrack(inTrack1), GetClock().Now());
    mTracks.erase(mTracks.begin() + index);
    mSelectedTracks0.CloseAt(index);
    ClearOrphanedVSolos();
    FireTrackDeletedAction(index);
}

// From the last track, so that no track moves: the whole list goes at the
// cost of one pass. What sounds ends in track order, as it did when the
// tracks went one by one from the first.
void KRVSequencer::DeleteAllTracks() {
    KRVBusyClaim claim(mSequencerIsBusy);
    const std::uint64_t now = GetClock().Now();
    for (int track1 = 1; track1 <= GetTrackCount(); track1++) {
        MuteTrack(track1);
        EndSoundingNote(GetTrack(track1), now);
    }
    while (!mTracks.empty()) {
        mTracks.pop_back();
        FireTrackDeletedAction(GetTrackCount());
    }
    for (auto& soloed : mVSoloed) {
        soloed = false;
    }
    // The swing goes with the tracks: a script writes it only where used,
    // so a load must not keep the one before.
    mSwing = kStraightSwing;
    RebuildSelectionIndex();
}

// A step whose v-soloed event went away with its track would otherwise stay
// in vertical-solo mode with nothing soloed, and so play nothing at all.
void KRVSequencer::ClearOrphanedVSolos() {
    for (int step1 = 1; step1 <= kMaxSteps; step1++) {
        if (!mVSoloed[step1 - 1]) {
            continue;
        }
        bool held = false;
        for (int track1 = 1; track1 <= GetTrackCount() && !held; track1++) {
            held = GetEvent(track1, step1).IsVSoloed();
        }
        if (!held) {
            mVSoloed[step1 - 1] = false;
        }
    }
}

void KRVSequencer::CopyTrack(int inFromTrack1, int inToTrack1) {
    // A tick must not play an event whose fields are half copied.
    KRVBusyClaim claim(mSequencerIsBusy);
    int steps = GetStepCount();
    for (int step1 = 1; step1 <= steps; step1++) {
        GetEvent(inToTrack1, step1) = GetEvent(inFromTrack1, step1);
    }
    FireTrackChangedAction(inToTrack1 - 1);
}

int KRVSequencer::GetSelectedCount() const {
    const int steps = GetStepCount();
    const std::uint64_t seen = steps >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << steps) - 1;
    int count = 0;
    for (int track0 = mSelectedTracks0.NextFrom(0); track0 >= 0;
         track0 = mSelectedTracks0.NextFrom(track0 + 1)) {
        count += std::popcount(mTracks[track0]->GetSelectedSteps() & seen);
    }
    return count;
}

// ---- grid and tempo ----

bool KRVSequencer::SetScale(int inBars, int inSteps) {
    if (inSteps < 1 || inSteps > kMaxSteps || inBars < 1) {
        return false;
    }
    long long ticksInSequence = static_cast<long long>(inBars) * kTicksPerBar;
    if (ticksInSequence > INT_MAX) {
        return false;
    }
    // Steps of 1 tick leave no tick for a note-off, and every played step,
    // including a partial last one, needs an event of its own.
    long long ticksPerStep = ticksInSequence / inSteps;
    if (ticksPerStep < 2 || (ticksInSequence + ticksPerStep - 1) / ticksPerStep > kMaxSteps) {
        return false;
    }
    // A tick may read these between the stores; it copes with any mix.
    mTicksInSequence = static_cast<int>(ticksInSequence);
    mTicksInLoop = static_cast<int>(ticksInSequence);
    mTicksPerStep = static_cast<int>(ticksPerStep);
    FireScaleChangedAction();
    return true;
}

// The step after a partial last step ends the loop with the sequence.
void KRVSequencer::SetLoopStep(int inStep1) {
    if (inStep1 - 1 >= 0 && inStep1 - 1 <= GetPlayedStepCount()) {
        mTicksInLoop = std::min((inStep1 - 1) * mTicksPerStep, mTicksInSequence.Load());
    }
    FireLoopChangedAction();
}

void KRVSequencer::SetSwing(int inPercent) {
    mSwing = std::clamp(inPercent, kStraightSwing, kMaxSwing);
    FireLoopChangedAction();
}

void KRVSequencer::SetTrackSwing(int inTrack1, int inPercent) {
    GetTrack(inTrack1).mSwing =
        static_cast<std::uint8_t>(std::clamp(inPercent, kStraightSwing, kMaxSwing));
    FireTrackChangedAction(inTrack1 - 1);
}

void KRVSequencer::SetTrackLegato(int inTrack1, bool inLegato) {
    GetTrack(inTrack1).mLegato = inLegato;
    FireTrackChangedAction(inTrack1 - 1);
}

int KRVSequencer::GetSwingOf(int inTrack1) const {
    return SwingOf(GetTrack(inTrack1));
}

int KRVSequencer::SwingOf(const KRVTrack& inTrack) const {
    const int own = inTrack.mSwing;
    return own != 0 ? own : mSwing.Load();
}

// Microseconds a tick, rounded; the clock itself uses the nanosecond value.
static double PeriodForBPM(double inBPM) {
    return std::round(1000000.0 / ((inBPM / 60.0) * KRVSequencer::kTicksPerQuarterNote));
}

static double PeriodNSForBPM(double inBPM) {
    return std::round(1e9 / ((inBPM / 60.0) * KRVSequencer::kTicksPerQuarterNote));
}

// Zero, negative and non-finite tempos give no period at all, and a tempo so
// high that ticks come faster than every kMinTimerPeriodUS would spin the
// real-time clock thread without any musical use. The limit is on the tempo
// itself: the rounded period would let tempos up to 25,125.6 through.
bool KRVSequencer::IsUsableBPM(double inBPM) {
    return inBPM > 0.0 && inBPM <= kMaxBPM;
}

bool KRVSequencer::SetBPM(double inBPM) {
    if (!IsUsableBPM(inBPM)) {
        return false;
    }
    mBPM = inBPM;
    mTimerPeriodUS = static_cast<std::uint32_t>(std::min(PeriodForBPM(inBPM), 4294967295.0));
    mTimerPeriodNS = static_cast<std::uint64_t>(std::min(PeriodNSForBPM(inBPM), 1e18));
    // A tick already waited for at the old tempo (a slow one) must not hold
    // up the new one.
    mTimer.ChangePeriod();
    FireBPMChangedAction();
    return true;
}

// ---- event changes ----

void KRVSequencer::SetEvent(int inTrack1, int inStep1, const KRVEvent& inEvent) {
    GetEvent(inTrack1, inStep1) = inEvent;
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetEvent0(int inTrack0, int inStep0, const KRVEvent& inEvent) {
    SetEvent(inTrack0 + 1, inStep0 + 1, inEvent);
}

static std::uint8_t ClampToByte(int inValue, int inMax) {
    return static_cast<std::uint8_t>(std::clamp(inValue, 0, inMax));
}

void KRVSequencer::SetNote(int inTrack1, int inStep1, int inNote) {
    GetEvent(inTrack1, inStep1).mNote = ClampToByte(inNote, 127);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetVelocity(int inTrack1, int inStep1, int inVelocity) {
    GetEvent(inTrack1, inStep1).mVelocity = ClampToByte(inVelocity, 127);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

// A gate never reaches 100 %, so every note ends inside its own step.
void KRVSequencer::SetGateTime(int inTrack1, int inStep1, int inGateTime) {
    GetEvent(inTrack1, inStep1).mGateTime = ClampToByte(inGateTime, 90);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetChannel(int inTrack1, int inStep1, int inChannel) {
    if (inChannel < 1 || inChannel > 16) {
        return;
    }
    GetEvent(inTrack1, inStep1).mChannel = static_cast<std::uint8_t>(inChannel - 1);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetPort(int inTrack1, int inStep1, int inPort) {
    int lastPort = std::max(GetPortCount() - 1, 0);
    GetEvent(inTrack1, inStep1).mPort = ClampToByte(std::min(inPort, lastPort), 255);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetChance(int inTrack1, int inStep1, int inChance) {
    GetEvent(inTrack1, inStep1).mChance = ClampToByte(inChance, KRVEvent::kAlwaysPlays);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetLength(int inTrack1, int inStep1, int inLength) {
    GetEvent(inTrack1, inStep1).mLength = ClampToByte(std::max(inLength, 1), kMaxSteps);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetTied(int inTrack1, int inStep1, bool inTied) {
    GetEvent(inTrack1, inStep1).mTied = inTied;
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetRatchet(int inTrack1, int inStep1, int inRatchet) {
    GetEvent(inTrack1, inStep1).mRatchet =
        ClampToByte(std::max(inRatchet, 1), KRVEvent::kMaxRatchet);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::SetMute(int inTrack1, int inStep1, bool inMute) {
    GetEvent(inTrack1, inStep1).mMuted = inMute;
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::Mute(int inTrack1, int inStep1) {
    GetTrack(inTrack1).Mute(inStep1);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::UnMute(int inTrack1, int inStep1) {
    GetTrack(inTrack1).UnMute(inStep1);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::InvertMute(int inTrack1, int inStep1) {
    KRVEvent& event = GetEvent(inTrack1, inStep1);
    event.mMuted = !event.mMuted;
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::HSolo(int inTrack1, int inStep1) {
    GetTrack(inTrack1).HSolo(inStep1);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::HUnSolo(int inTrack1, int inStep1) {
    GetTrack(inTrack1).HUnSolo(inStep1);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

// Only one event of a step can be v-soloed: soloing another moves the solo.
void KRVSequencer::VSolo(int inTrack1, int inStep1) {
    bool soloed = false;
    for (int track1 = 1; track1 <= GetTrackCount(); track1++) {
        GetEvent(track1, inStep1).mVSoloed = (track1 == inTrack1);
        soloed = soloed || track1 == inTrack1;
        FireEventChangedAction(track1 - 1, inStep1 - 1);
    }
    mVSoloed[inStep1 - 1] = soloed;
}

// Only the event that holds the step's solo ends it: unsoloing another event
// of the step would leave the soloed one marked in a step that plays all.
void KRVSequencer::VUnSolo(int inTrack1, int inStep1) {
    KRVEvent& event = GetEvent(inTrack1, inStep1);
    if (event.mVSoloed) {
        event.mVSoloed = false;
        mVSoloed[inStep1 - 1] = false;
    }
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
}

void KRVSequencer::MuteTrack(int inTrack1) {
    GetTrack(inTrack1).Mute();
    FireTrackChangedAction(inTrack1 - 1);
}

void KRVSequencer::UnMuteTrack(int inTrack1) {
    GetTrack(inTrack1).UnMute();
    FireTrackChangedAction(inTrack1 - 1);
}

// ---- selection ----

bool KRVSequencer::IsInGrid(int inTrack1, int inStep1) const {
    return inTrack1 >= 1 && inTrack1 <= GetTrackCount() && inStep1 >= 1 &&
           inStep1 <= GetStepCount();
}

int KRVSequencer::SetSelected(int inTrack1, int inStep1, bool inSelected) {
    GetTrack(inTrack1).SetSelected(inStep1, inSelected);
    NoteSelectionOf(inTrack1 - 1);
    FireEventChangedAction(inTrack1 - 1, inStep1 - 1);
    return 1;
}

int KRVSequencer::SelectAll() {
    int count = 0;
    for (int track1 = 1; track1 <= GetTrackCount(); track1++) {
        count += SelectTrack(track1);
    }
    return count;
}

int KRVSequencer::SelectEvent(int inTrack1, int inStep1) {
    return IsInGrid(inTrack1, inStep1) ? SetSelected(inTrack1, inStep1, true) : 0;
}

int KRVSequencer::UnSelectEvent(int inTrack1, int inStep1) {
    return IsInGrid(inTrack1, inStep1) ? SetSelected(inTrack1, inStep1, false) : 0;
}

int KRVSequencer::SelectStep(int inStep1) {
    return MarkStep(inStep1, true);
}
int KRVSequencer::UnSelectStep(int inStep1) {
    return MarkStep(inStep1, false);
}
int KRVSequencer::SelectTrack(int inTrack1) {
    return MarkTrack(inTrack1, true);
}
int KRVSequencer::UnSelectTrack(int inTrack1) {
    return MarkTrack(inTrack1, false);
}

// Marks or unmarks a step on every track.
int KRVSequencer::MarkStep(int inStep1, bool inSelected) {
    if (inStep1 < 1 || inStep1 > GetStepCount()) {
        return 0;
    }
    int count = 0;
    for (int track1 = 1; track1 <= GetTrackCount(); track1++) {
        count += SetSelected(track1, inStep1, inSelected);
    }
    return count;
}

// Marks or unmarks the visible steps of a track.
int KRVSequencer::MarkTrack(int inTrack1, bool inSelected) {
    if (inTrack1 < 1 || inTrack1 > GetTrackCount()) {
        return 0;
    }
    int count = 0;
    for (int step1 = 1; step1 <= GetStepCount(); step1++) {
        count += SetSelected(inTrack1, step1, inSelected);
    }
    return count;
}

void KRVSequencer::InvertSelect(int inTrack1, int inStep1) {
    SetSelected(inTrack1, inStep1, !GetEvent(inTrack1, inStep1).IsSelected());
}

void KRVSequencer::NoteSelectionOf(int inTrack0) {
    if (mTracks[inTrack0]->GetSelectedSteps() != 0) {
        mSelectedTracks0.Insert(inTrack0);
    } else {
        mSelectedTracks0.Erase(inTrack0);
    }
}

void KRVSequencer::RebuildSelectionIndex() {
    mSelectedTracks0.Clear();
    for (int track0 = 0; track0 < GetTrackCount(); track0++) {
        mTracks[track0]->RecountSelected();
        NoteSelectionOf(track0);
    }
}

int KRVSequencer::NextSelectedStep0(int inTrack0, int inFrom0) const {
    if (inTrack0 >= GetTrackCount() || inFrom0 >= GetStepCount()) {
        return -1;
    }
    const std::uint64_t rest = mTracks[inTrack0]->GetSelectedSteps() >> inFrom0;
    if (rest == 0) {
        return -1;
    }
    const int step0 = inFrom0 + std::countr_zero(rest);
    return step0 < GetStepCount() ? step0 : -1;
}

// The index and each selection mark are read afresh before every visit, so
// a visit that changes the selection affects the events visited after it,
// as a walk over every event would. Only the tracks in the index are
// visited: loading a script selects one event at a time, and must not walk
// every track for each of them.
template <typename Visit>
void KRVSequencer::ForEachSelected0(Visit inVisit) const {
    for (int track0 = mSelectedTracks0.NextFrom(0); track0 >= 0;
         track0 = mSelectedTracks0.NextFrom(track0 + 1)) {
        for (int step0 = NextSelectedStep0(track0, 0); step0 >= 0;
             step0 = NextSelectedStep0(track0, step0 + 1)) {
            inVisit(track0, step0);
        }
    }
}

int KRVSequencer::RunSelection(KRVSelectionAction* inAction) {
    int count = 0;
    ForEachSelected0([this, inAction, &count](int inTrack0, int inStep0) {
        count++;
        inAction->Action(this, inTrack0 + 1, inStep0 + 1);
    });
    return count;
}

std::vector<std::pair<int, int>> KRVSequencer::GetSelectedEvents0() const {
    std::vector<std::pair<int, int>> events;
    ForEachSelected0(
        [&events](int inTrack0, int inStep0) { events.emplace_back(inTrack0, inStep0); });
    return events;
}

// ---- channel names ----

void KRVSequencer::SetChannelName(int inPort, int inChannel, std::string inName) {
    mChannelNames[{inPort, inChannel}] = std::move(inName);
    FireConfigChangedAction();
}

std::string KRVSequencer::GetChannelName(int inPort, int inChannel) const {
    auto found = mChannelNames.find({inPort, inChannel});
    return found == mChannelNames.end() ? std::string() : found->second;
}

// A name means the channel that has it now, so a channel named again no
// longer answers to its old name. Where two channels share a name, the
// first by port and channel wins, as it does after saveconfig and read.
bool KRVSequencer::GetNamedChannel(std::string_view inName, int* outPort, int* outChannel) const {
    for (const auto& [channel, name] : mChannelNames) {
        if (name == inName) {
            *outPort = channel.first;
            *outChannel = channel.second;
            return true;
        }
    }
    return false;
}

void KRVSequencer::SetProgram(int inPort, int inChannel, int inProgram0) {
    KRVBusyClaim claim(mSequencerIsBusy);
    mPrograms.Set(inPort, inChannel - 1, inProgram0);
    FireConfigChangedAction();
}

int KRVSequencer::GetProgram(int inPort, int inChannel) const {
    return mPrograms.Get(inPort, inChannel - 1);
}

// The notes the port handed over ahead of time would reach the synthesizer
// before the programs: they are withdrawn (as at a stop), and the clock
// sends the programs before its next notes. A port about to be connected
// takes back all it has not handed on yet, also what fell due already (JACK
// writes that a period later, maybe over the new connection).
void KRVSequencer::ResendPrograms(int inPort, bool inConnecting) {
    constexpr MIDICLTimeStamp kBeforeAnything = 1;
    MIDICLOutputPort* port = GetPort(inPort);
    KRVBusyClaim claim(mSequencerIsBusy);
    if (port == nullptr) {
        return;
    }
    mPortConnecting[static_cast<std::size_t>(inPort)] = inConnecting;
    // A receiver of the clock that (re)starts hears where the clock is, at
    // the next sixteenth, as if the port had been turned on.
    mClockRunning[static_cast<std::size_t>(inPort)] = false;
    if (mPrograms.MarkPortPending(inPort)) {
        port->WithdrawPending(inConnecting ? kBeforeAnything : Stamp(inPort, GetClock().Now()));
    }
}

void KRVSequencer::SetClock(int inPort, bool inSends) {
    KRVBusyClaim claim(mSequencerIsBusy);
    mPortTiming.SetClock(inPort, inSends);
    FireConfigChangedAction();
}

void KRVSequencer::SetLatency(int inPort, int inMS) {
    KRVBusyClaim claim(mSequencerIsBusy);
    mPortTiming.SetLatency(inPort, inMS);
    FireConfigChangedAction();
}

void KRVSequencer::DeletePortTiming() {
    KRVBusyClaim claim(mSequencerIsBusy);
    mPortTiming.Clear();
    FireConfigChangedAction();
}

void KRVSequencer::DeletePrograms() {
    KRVBusyClaim claim(mSequencerIsBusy);
    mPrograms.Clear();
    FireConfigChangedAction();
}

void KRVSequencer::DeleteChannelNames() {
    mChannelNames.clear();
    FireConfigChangedAction();
}

// ---- note output ----

MIDICLOutputPort* KRVSequencer::GetPort(int inPort) const {
    return inPort >= 0 && inPort < GetPortCount() ? mOutputPorts[inPort] : nullptr;
}

// ---- notifications ----

// Every change is told through here, so this is where they are counted.
template <typename Call>
void KRVSequencer::ForEachListener(Call inCall) {
    mChangeCount++;
    for (size_t i = 0; i < mListeners.size(); i++) {
        inCall(mListeners[i]);
    }
}

void KRVSequencer::FireBPMChangedAction() {
    ForEachListener([this](KRVSequencerListener* l) { l->BPMChanged(this); });
}
void KRVSequencer::FireClockResetAction() {
    ForEachListener([this](KRVSequencerListener* l) { l->ClockReset(this); });
}
void KRVSequencer::FireConfigChangedAction() {
    ForEachListener([this](KRVSequencerListener* l) { l->ConfigChanged(this); });
}
// A change to a track outdates its captured image.
void KRVSequencer::CountTrackEdit(int inTrack0) {
    if (inTrack0 >= 0 && inTrack0 < GetTrackCount()) {
        mTracks[inTrack0]->mEdits++;
    }
}

void KRVSequencer::FireEventChangedAction(int inTrack0, int inStep0) {
    CountTrackEdit(inTrack0);
    ForEachListener(
        [&](KRVSequencerListener* l) { l->EventChanged(this, inTrack0 + 1, inStep0 + 1); });
}
void KRVSequencer::FireLoopChangedAction() {
    ForEachListener([this](KRVSequencerListener* l) { l->LoopChanged(this); });
}
void KRVSequencer::FirePortListChangedAction() {
    ForEachListener([this](KRVSequencerListener* l) { l->PortListChanged(this); });
}
void KRVSequencer::FireScaleChangedAction() {
    ForEachListener([this](KRVSequencerListener* l) { l->ScaleChanged(this); });
}
void KRVSequencer::FireStartAction() {
    ForEachListener([this](KRVSequencerListener* l) { l->Start(this); });
}
void KRVSequencer::FireStopAction() {
    ForEachListener([this](KRVSequencerListener* l) { l->Stop(this); });
}
void KRVSequencer::FireTrackChangedAction(int inTrack0) {
    CountTrackEdit(inTrack0);
    ForEachListener([&](KRVSequencerListener* l) { l->TrackChanged(this, inTrack0 + 1); });
}
void KRVSequencer::FireTrackAddedAction(int inTrack0) {
    ForEachListener([&](KRVSequencerListener* l) { l->TrackAdded(this, inTrack0 + 1); });
}
void KRVSequencer::FireTrackDeletedAction(int inTrack0) {
    ForEachListener([&](KRVSequencerListener* l) { l->TrackDeleted(this, inTrack0 + 1); });
}
