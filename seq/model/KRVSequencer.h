#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "MIDICLTypes.h"
#include "input/KRVInputChoice.h"
#include "input/KRVMIDIInput.h"
#include "model/KRVBusyFlag.h"
#include "model/KRVChanceDraw.h"
#include "model/KRVEvent.h"
#include "model/KRVPortTiming.h"
#include "model/KRVPrograms.h"
#include "model/KRVRelaxed.h"
#include "model/KRVSequencerState.h"
#include "model/KRVTrack.h"
#include "model/KRVTrackSet.h"
#include "playback/KRVTimerThread.h"

class KRVClockFollower;
class KRVSelectionAction;
class KRVSequencerListener;
class KRVTransportFollower;
class MIDICLClock;
class MIDICLOutputPort;

// The whole sequence: tracks, grid (bars, steps, loop), selection, mute and
// solo marks, output ports, channel names, tempo and clock.
//
// Numbering: tracks and steps are 1-based (inTrack1, inStep1) except where a
// name ends in 0; ports are 0-based; channels are 1-based (1 to 16).
//
// Nothing here reports errors: out-of-range values are clamped or ignored.
// The event accessors do not check their numbers; the commands do.
//
// Threads: the playback tick reads the tracks while the command thread edits
// them. The busy flag guards the track list itself (AddTrack, DeleteTrack,
// the tick); single-field edits go through relaxed atomics and take effect at
// the next tick that reads them.
class KRVSequencer {
public:
    static constexpr int kMaxSteps = 64;
    // Every track costs its 64 events whether used or not, and a typo such
    // as "newtrack 99999999" must not eat the machine.
    static constexpr int kMaxTracks = KRVTrackSet::kSize;
    static constexpr int kTicksPerQuarterNote = 24;
    static constexpr int kTicksPerBar = 96;
    static constexpr int kMinTimerPeriodUS = 100;
    // The fastest tempo, whose ticks come exactly kMinTimerPeriodUS apart.
    static constexpr double kMaxBPM = 25000.0;

    KRVSequencer();
    virtual ~KRVSequencer();
    KRVSequencer(const KRVSequencer&) = delete;
    KRVSequencer& operator=(const KRVSequencer&) = delete;

    // Structure and queries. A port may be added, and pointed at another
    // destination, while playing.
    // With inConnecting the port starts no note until ResendPrograms says
    // its connection holds.
    int AddPort(MIDICLOutputPort* inOutputPort, bool inConnecting = false);
    void SetPortDestination(int inPort, MIDICLEndpointRef inDestination);
    int AddListener(KRVSequencerListener* inListener);
    // Both refuse (return -1, nothing changes) when the track list would
    // pass kMaxTracks; CanAddTrack tells beforehand.
    int AddTrack(const KRVTrack& inTrackObject);
    int AddTrack(const KRVTrack& inTrackObject, int inTrack1);
    // Appends a track made for the sequence, marks and all, without a copy.
    int AddTrack(std::unique_ptr<KRVTrack> inTrack);
    bool CanAddTrack() const { return GetTrackCount() < kMaxTracks; }
    bool CanAddTrack(int inTrack1) const { return CanAddTrack() && inTrack1 <= kMaxTracks; }
    void CopyTrack(int inFromTrack1, int inToTrack1);
    void DeleteTrack(int inTrack1);
    // Deletes every track, last first, as DeleteTrack would one by one, in
    // one claim of the busy flag (no tick plays half a sequence), and
    // straightens the swing.
    void DeleteAllTracks();
    KRVTrack& GetTrack(int inTrack1) { return *mTracks[inTrack1 - 1]; }
    const KRVTrack& GetTrack(int inTrack1) const { return *mTracks[inTrack1 - 1]; }

    int GetTrackCount() const { return static_cast<int>(mTracks.size()); }
    int GetPortCount() const { return static_cast<int>(mOutputPorts.size()); }
    // Null for a port number that has no port.
    MIDICLOutputPort* GetPort(int inPort) const;
    // True once the MIDI server behind the ports has gone away.
    bool IsOutputGone() const;
    int GetStepCount() const { return mTicksInSequence / mTicksPerStep; }
    int GetBarCount() const { return mTicksInSequence / kTicksPerBar; }
    // Steps that play, a partial last one (when the steps do not divide the
    // bars) included.
    int GetPlayedStepCount() const {
        return (mTicksInSequence + mTicksPerStep - 1) / mTicksPerStep;
    }
    // The first step that is not played. A loop over the whole sequence
    // counts its partial last step, so that it tells apart from a loop that
    // stops before that step (10 steps of 9 ticks in 96: 12, not 11).
    int GetLoopStep() const { return (mTicksInLoop + mTicksPerStep - 1) / mTicksPerStep + 1; }
    int GetLoopTicks() const { return mTicksInLoop; }
    int GetCurrentStep() const { return mTicks / mTicksPerStep; }
    // The step heard now, 0-based; -1 before the first tick is heard. The
    // clock hands its ticks over ahead of their time (on JACK by up to a
    // lead of tens of milliseconds), so the current step may not sound yet.
    // Holds the busy flag for as long as a look at the last ticks takes.
    int GetSoundingStep();
    int GetTicksPerStep() const { return mTicksPerStep; }
    int GetTicksPerQuarterNote() const { return kTicksPerQuarterNote; }
    double GetBPM() const { return mBPM; }
    std::uint32_t GetTimerPeriodUS() const { return mTimerPeriodUS; }
    bool IsPlaying() const { return mTimerStarted || mTransportRolling; }
    bool IsStepVSoloed(int inStep1) const { return mVSoloed[inStep1 - 1]; }
    int GetSelectedCount() const;

    // Grid. SetScale refuses (and returns false for) a scale whose steps
    // would be shorter than 2 ticks or whose steps, a partial last step
    // included, would not fit in a track's 64 events.
    bool SetScale(int inBars, int inSteps);
    void SetLoopStep(int inStep1);

    // Tempo: refused (false, nothing changes) unless above 0 and at most
    // kMaxBPM.
    bool SetBPM(double inBPM);
    static bool IsUsableBPM(double inBPM);

    // Swing in percent, kStraightSwing to kMaxSwing: every second step (the
    // 2nd, 4th, ...) starts that share of a pair of steps after the pair's
    // first, so 50 is straight and 75 plays the second step half a step
    // late. A track's own swing (0 for none) overrides the sequence's.
    static constexpr int kStraightSwing = 50;
    static constexpr int kMaxSwing = 75;
    void SetSwing(int inPercent);
    int GetSwing() const { return mSwing; }
    void SetTrackSwing(int inTrack1, int inPercent);
    // The swing the track plays by: its own, else the sequence's.
    int GetSwingOf(int inTrack1) const;
    // How late a step of the track starts, in fiftieths of a tick: whole
    // ticks are this over 50, and the share of a tick what remains.
    int GetSwingShift(int inTrack1, int inStep1) const;
    // Legato, per track (off by default): a note's gate reaches the start
    // of the next note the track plays, when the step after it plays one;
    // a note before a rest keeps its own gate.
    void SetTrackLegato(int inTrack1, bool inLegato);
    // Whether the note the step starts sounds on into the next note.
    bool IsLegatoInto(int inTrack1, int inStep1) const;

    // Transport. Play starts from the top of the loop after a Reset, and
    // after a Stop alone (a pause) goes on from the next sixteenth (6 ticks)
    // after the last tick heard; Stop ends every sounding note; Reset rewinds
    // the clock while stopped, and starts the chance draws over
    // (KRVChanceDraw), so every start from the top plays the same. Play
    // returns the clock's start error (0 when it started) for the caller to
    // report; the sequencer counts as playing either way, so that Stop leaves
    // normally.
    int Play();
    // Returns how many note-ons the output refused (its queue was full) since
    // playback started; they were not played.
    std::uint64_t Stop();
    void Reset();
    int GetGateTicks(int inGatePercent) const;
    // What the first pass of the loop after a reset sounds, by the rules the
    // clock plays by: element track0 has bit step0 set where playback starts
    // the note of a step (mutes, solos, silence and the chance draws
    // decide; the steps a held note covers start nothing).
    std::vector<std::uint64_t> DrawFirstPass() const;
    // A heard step's repeats (its ratchet; steps are 1-based and lie inside
    // the loop): how many, and where repeat0 starts within the step and for
    // how many ticks it sounds before the clock ends it. A note held over
    // several steps is one repeat, its ticks counted to its end in the last
    // (past the loop's end, where it wraps).
    struct Repeat {
        int mStartTick;
        int mTicks;
    };
    int GetRepeatCount(int inTrack1, int inStep1) const;
    Repeat GetRepeat(int inTrack1, int inStep1, int inRepeat0) const;
    // When the clock starts and ends a heard step's repeat, swing and all,
    // in fiftieths of a tick from the loop's start; one it never starts
    // (past the next step's start on a swung step) ends where it starts.
    // A legato note overlaps the next (mOverlaps): its end is that note's
    // start, and its note-off comes after that note-on.
    struct Span {
        std::int64_t mStart;
        std::int64_t mEnd;
        bool mOverlaps = false;
    };
    Span GetSpan(int inTrack1, int inStep1, int inRepeat0) const;
    // One tick of the clock, due at inDueTime on the output's clock (0 for
    // "now"). The timer thread calls it; tests drive it directly.
    void TimerTick(std::uint64_t inDueTime = 0);
    // Where playback stood, as a player heard it, at inTime on the output's
    // clock: how many ticks it had played since Play (a fraction between
    // ticks, counted from the first tick, negative before it) and the tick
    // of the loop then, by the times of the ticks handed over lately
    // (beyond them, at the tempo now). The loop's tick may lie past the
    // loop or before it: a caller wraps it. False while no tick has been
    // played. A player hears each tick the output's delay after its time
    // (MIDICLClock::GetHeardDelay), and plays along with what they hear.
    struct PlayedAt {
        double mTicksPlayed = 0;
        double mLoopTick = 0;
    };
    bool GetPlayedAt(std::uint64_t inTime, PlayedAt* outAt);
    // The same for the time now.
    bool GetPlayedNow(PlayedAt* outAt);
    // The output's clock, which input is stamped on too: the time now, and
    // a time in seconds.
    std::uint64_t GetClockNow() const;
    double ToSeconds(std::uint64_t inTime) const;

    // Event access. The setters below tell listeners and undo of every
    // change; an edit made through these references must be told the same
    // way (SetEvent), or undo would take an old picture of the track.
    KRVEvent& GetEvent(int inTrack1, int inStep1) { return GetTrack(inTrack1).GetEvent(inStep1); }
    const KRVEvent& GetEvent(int inTrack1, int inStep1) const {
        return GetTrack(inTrack1).GetEvent(inStep1);
    }
    KRVEvent& GetEvent0(int inTrack0, int inStep0) { return GetEvent(inTrack0 + 1, inStep0 + 1); }
    const KRVEvent& GetEvent0(int inTrack0, int inStep0) const {
        return GetEvent(inTrack0 + 1, inStep0 + 1);
    }

    // Event changes
    void SetEvent(int inTrack1, int inStep1, const KRVEvent& inEvent);
    void SetEvent0(int inTrack0, int inStep0, const KRVEvent& inEvent);
    void SetNote(int inTrack1, int inStep1, int inNote);
    void SetVelocity(int inTrack1, int inStep1, int inVelocity);
    void SetGateTime(int inTrack1, int inStep1, int inGateTime);
    void SetChannel(int inTrack1, int inStep1, int inChannel);
    void SetPort(int inTrack1, int inStep1, int inPort);
    // Chance in percent, 0 to 100; ratchet 1 to KRVEvent::kMaxRatchet.
    void SetChance(int inTrack1, int inStep1, int inChance);
    void SetRatchet(int inTrack1, int inStep1, int inRatchet);
    // Length in steps, 1 to kMaxSteps.
    void SetLength(int inTrack1, int inStep1, int inLength);
    void SetTied(int inTrack1, int inStep1, bool inTied);
    void SetMute(int inTrack1, int inStep1, bool inMute);
    void Mute(int inTrack1, int inStep1);
    void UnMute(int inTrack1, int inStep1);
    void InvertMute(int inTrack1, int inStep1);
    void HSolo(int inTrack1, int inStep1);
    void HUnSolo(int inTrack1, int inStep1);
    void VSolo(int inTrack1, int inStep1);
    void VUnSolo(int inTrack1, int inStep1);
    void MuteTrack(int inTrack1);
    void UnMuteTrack(int inTrack1);

    // Selection; each returns how many events it marked or unmarked.
    int SelectAll();
    int SelectEvent(int inTrack1, int inStep1);
    int UnSelectEvent(int inTrack1, int inStep1);
    int SelectStep(int inStep1);
    int UnSelectStep(int inStep1);
    int SelectTrack(int inTrack1);
    int UnSelectTrack(int inTrack1);
    void InvertSelect(int inTrack1, int inStep1);
    // Calls the action on every selected event that is seen (steps up to the
    // step count), track by track and step by step. Only the tracks that
    // hold a selection are visited, so a walk costs what is selected, not
    // the size of the sequence.
    int RunSelection(KRVSelectionAction* inAction);
    // The selected events that are seen, as positions in walk order.
    std::vector<std::pair<int, int>> GetSelectedEvents0() const;

    // The selection index, the tracks that hold a selected event, is kept
    // with every change of the selection and of the track list made here.
    // It is derived from the tracks alone (their events' selection marks):
    // whatever replaces or rewrites the tracks wholesale, or the marks
    // other than through the selection calls above (a snapshot restored by
    // undo, say), must call this afterwards. It costs one pass over every
    // event.
    void RebuildSelectionIndex();

    // Rotation and variation of the selection's content. Content (channel,
    // gate, note, port, velocity) moves between the selected steps; selection,
    // mute and solo marks stay where they are. Each returns the number of
    // selected events. Rotating by the selection's size or more leaves it as
    // it is. Variation draws from rand(), so it repeats from run to run.
    int RotateSelectionForwards(int inRotateCount);
    int RotateSelectionBackwards(int inRotateCount);
    int VarySelection();
    int VarySelection2();

    // Step ranges. CopySteps keeps the content of steps inFrom1 to inTo1 of
    // the tracks that hold a selected event that is seen, or of every track
    // when none does, and returns how many tracks it took. PasteSteps writes
    // what was kept onto the same tracks (by number) from step inAt1 on,
    // content only, and returns how many events it wrote; outDropped counts
    // those that fell past the step count or on a track no longer there.
    // What was kept stays until the next CopySteps; undo does not touch it.
    int CopySteps(int inFrom1, int inTo1);
    int PasteSteps(int inAt1, int* outDropped);
    bool HasCopiedSteps() const { return !mCopiedSteps.empty(); }

    // The tracks (1-based, ascending) that hold a selected event that is
    // seen.
    std::vector<int> GetSelectedTracks1() const;
    // Mutes the steps of the loop of each such track but those of the
    // Euclidean rhythm of inHits over the loop's steps, which it unmutes
    // (KRVEuclid); returns how many tracks it changed.
    int MuteEuclid(int inHits, int inRotation);

    // Channel names, by 0-based port and 1-based channel; "" for none.
    void SetChannelName(int inPort, int inChannel, std::string inName);
    std::string GetChannelName(int inPort, int inChannel) const;
    // The channel that has the name; false when none has.
    bool GetNamedChannel(std::string_view inName, int* outPort, int* outChannel) const;
    void DeleteChannelNames();

    // Programs, by 0-based port, 1-based channel and 0-based program
    // (KRVPrograms::kNone for none). They go out before the first note when
    // playback starts, and with the next tick when set while playing.
    void SetProgram(int inPort, int inChannel, int inProgram0);
    int GetProgram(int inPort, int inChannel) const;
    void DeletePrograms();
    // A port connected to a destination anew sends its programs again
    // before its next note, so that a synthesizer that (re)starts does not
    // play the piano, and its clock joins again as if just turned on. With
    // inConnecting the port starts no note until it is called again
    // without: a connection may begin to carry messages at any moment
    // before the host says it does, and a note it carried then would come
    // before the programs sent once it said so.
    void ResendPrograms(int inPort, bool inConnecting = false);
    const KRVPrograms& GetPrograms() const { return mPrograms; }

    // MIDI clock, by 0-based port: a port that sends it sends a timing clock
    // every tick while playing, before the notes of the tick, Start when
    // playing from the top, Song Position (unless at the top) and Continue
    // when going on, Stop when stopped. Turned on while playing, it joins at
    // the next sixteenth with Song Position and Continue.
    void SetClock(int inPort, bool inSends);
    // Latency, by 0-based port, in milliseconds (KRVPortTiming's range): all
    // the port sends is stamped that much later, or earlier.
    void SetLatency(int inPort, int inMS);
    const KRVPortTiming& GetPortTiming() const { return mPortTiming; }
    // Every port back to no clock and no latency.
    void DeletePortTiming();

    // MIDI input: what the keyboard plays (GetInput), which source was
    // chosen and where thru goes (the choice). The input's thru port is the
    // sequence's to own (SetThruPort) and follows a port's destination:
    // the chosen one, or that of the track played into (track 1 unless
    // set), on its channel. UpdateThru points it where the choice and the
    // tracks say now; it costs nothing when that has not changed.
    KRVMIDIInput& GetInput() { return mInput; }
    KRVInputChoice& GetInputChoice() { return mInputChoice; }
    const KRVInputChoice& GetInputChoice() const { return mInputChoice; }
    void SetThruPort(MIDICLOutputPort* inPort);
    MIDICLOutputPort* GetThruPort() const { return mThruPort.get(); }
    void SetInputTrack(int inTrack1);
    int GetInputTrack() const { return mInputTrack; }
    // Where thru goes now: false when nowhere (off, or no such port).
    bool GetThruTarget(int& outPort, int& outChannel1) const;
    void UpdateThru();
    // The same after the thru port lost its connection (moved to a new
    // server): it is pointed again even where it was pointed before.
    void RepointThru();
    // The host's transport (KRVTransportFollower). Off, the sequencer runs
    // on its own clock. Following, it plays while the transport rolls, from
    // where it is, on the timebase master's bars and tempo when there is
    // one (else on its own tempo from frame 0); Play, Stop and Reset start,
    // stop and rewind the transport instead. Leading, it is the timebase
    // master too, its bars and beats from its own grid and tempo. A change
    // of mode ends what plays.
    enum class TransportMode { kOff, kFollow, kLead };
    enum class TransportResult { kDone, kNoTransport, kTaken, kNoThread };
    TransportResult SetTransportMode(TransportMode inMode);
    TransportMode GetTransportMode() const { return mTransportMode; }
    // The timebase master's tempo in quarter notes a minute, 0 when no
    // master is followed.
    double GetTransportBPM() const;
    // For the follower's thread: a run starts at inTick (counted from bar 1
    // beat 1), plays tick by tick, and ends with every sounding note.
    void BeginTransportRun(std::int64_t inTick);
    void TransportTick(std::int64_t inTick, std::uint64_t inDueTime);
    void EndTransportRun();

    // The MIDI clock of a source (KRVClockFollower), followed instead of the
    // sequencer's own: its clocks play the ticks (through the runs above),
    // its Start, Stop and Continue start and stop them; Play does nothing
    // meanwhile. Refused while the transport is followed or led. Following
    // ends what plays; inName is the source's, for saving and showing.
    enum class ClockInResult { kDone, kTransportOn, kNoThread };
    ClockInResult FollowClock(const KRVMIDIInput::PortMaker& inMakePort, MIDICLEndpointRef inSource,
                              const std::string& inName);
    void StopFollowingClock();
    bool IsFollowingClock() const { return mClockFollower != nullptr; }
    // The follower, to listen again when its source comes back; null when
    // no clock is followed.
    KRVClockFollower* GetClockFollower() { return mClockFollower.get(); }
    const std::string& GetClockSourceName() const { return mClockSourceName; }
    // The followed clock's tempo as measured, 0 when unknown.
    double GetClockBPM() const;

    // Undo. CaptureState takes a picture of all that commands change,
    // sharing the images of unchanged tracks with inNeighbour (may be null).
    // RestoreState puts one back, also while playing: it replaces tracks,
    // selection, marks, grid, loop, channel names and tempo at once between
    // two ticks, and ends every sounding note as an edit does.
    KRVSequencerState CaptureState(const KRVSequencerState* inNeighbour) const;
    void RestoreState(const KRVSequencerState& inState);
    // Grows with every change listeners hear of (and a few that are no
    // change, as play): the same count twice means nothing changed between,
    // so that a state need not be captured after every command.
    std::uint64_t GetChangeCount() const { return mChangeCount; }

private:
    bool IsInGrid(int inTrack1, int inStep1) const;
    int SetSelected(int inTrack1, int inStep1, bool inSelected);
    // The index after a change of one track's selection.
    void NoteSelectionOf(int inTrack0);
    // The first selected step, 0-based, at or after inFrom0 and before the
    // step count; -1 for none.
    int NextSelectedStep0(int inTrack0, int inFrom0) const;
    // Calls inVisit(track0, step0) on every selected event that is seen.
    template <typename Visit>
    void ForEachSelected0(Visit inVisit) const;
    int MarkStep(int inStep1, bool inSelected);
    int MarkTrack(int inTrack1, bool inSelected);
    void ClearOrphanedVSolos();
    static int GateTicks(int inGatePercent, int inTicksPerStep);
    static int GateEndTick(int inGatePercent, int inTicksPerStep);
    static int RepeatCount(const KRVEvent& inEvent, int inTicksPerStep);
    static int RepeatStart(int inRepeat0, int inCount, int inTicksPerStep);
    static int RepeatAt(int inTickInStep, int inCount, int inTicksPerStep);
    static Repeat RepeatOf(const KRVEvent& inEvent, int inRepeat0, int inTicksPerStep);
    static int TiedSteps(const KRVTrack& inTrack, int inStep0, int inLoopSteps);
    static int CoveredSteps(const KRVTrack& inTrack, int inStep0, int inLoopSteps);
    int GetLoopSteps(int inStepCount) const;
    void HoldOrEnd(KRVTrack& ioTrack, bool inHolds, std::uint64_t inDueTime);
    bool HoldsLegato(const KRVTrack& inTrack, int inStep0, int inTickInStep, int inTicksPerStep,
                     int inStepCount) const;
    void EndAtGate(KRVTrack& ioTrack, int inStep0, int inTickInStep, int inTicksPerStep,
                   int inStepCount, bool inAtStart, std::uint64_t inDueTime);
    static bool IsSameSound(const KRVEvent& inPlaying, const KRVEvent& inNext);
    void EndLegatoNote(KRVTrack& ioTrack, int inHeldStep0, std::uint64_t inDueTime);
    Span LegatoSpan(int inTrack1, int inStep1, int inRepeat0, Span inSpan) const;
    static int SwingShift(int inPercent, int inStep0, int inTicksPerStep);
    std::int64_t SwungTime(int inTrack1, int inStep0, int inTickInStep) const;
    int SwingOf(const KRVTrack& inTrack) const;
    // Where a track is in its grid on a tick of the clock: a swung step's
    // ticks come as many whole ticks later as its swing shifts it, and its
    // messages the remaining share (in fiftieths) of a tick later still.
    struct Place {
        int mStep0;
        int mTickInStep;
        int mShare;
    };
    Place PlaceOf(const KRVTrack& inTrack, int inTicks, int inTicksPerStep) const;
    void PlayTracks(int inTicks, int inTicksPerStep, int inStepCount, std::uint64_t inDueTime);
    int PlayTransport();
    void StopTransport();
    void ResetTransport();
    int StartTimer();
    void StopTimer();
    void SendAllNotesOff();
    void SendPendingPrograms(std::uint64_t inDueTime);
    void SendClockMessages(int inTick, std::uint64_t inDueTime);
    void StartClock(int inPort, MIDICLOutputPort& ioPort, int inTick, std::uint64_t inStamp);
    void StopClocks(std::uint64_t inNow);
    // Back to the last tick due before inNow: those handed over ahead of
    // it were withdrawn, and a pause goes on after the last one heard.
    void RewindUnheard(std::uint64_t inNow);
    // How many of the last ticks handed over are due at or after inNow.
    std::uint64_t CountUnheard(std::uint64_t inNow) const;
    // inTicks moved back by inBack ticks, wrapping at the loop, at least 0.
    int TicksBack(int inTicks, std::uint64_t inBack) const;
    // inDueTime moved by the port's latency; 0 ("now") stays 0.
    std::uint64_t Stamp(int inPort, std::uint64_t inDueTime) const;
    MIDICLClock& GetClock() const;
    bool StartsNote(const KRVTrack& inTrack, const KRVEvent& inEvent, int inStep0,
                    int inStepCount) const;
    bool HoldsOver(KRVTrack& ioTrack, int inStep0, int inTickInStep, int inTicksPerStep,
                   int inStepCount, std::uint64_t inDueTime);
    void PlayTrack(KRVTrack& ioTrack, int inStep0, int inTickInStep, int inTicksPerStep,
                   int inStepCount, std::uint64_t inDueTime);
    void EndSoundingNote(KRVTrack& ioTrack, std::uint64_t inDueTime);
    bool SendNoteOn(KRVEvent* ioEvent, std::uint64_t inDueTime);
    void SendNoteOff(KRVEvent* ioEvent, std::uint64_t inDueTime);

    static KRVSequencerState::PackedEvent PackEvent(const KRVEvent& inEvent);
    static void UnpackEvent(const KRVSequencerState::PackedEvent& inPacked, KRVEvent* outEvent);
    static std::shared_ptr<const KRVSequencerState::TrackImage> GetImage(
        const KRVTrack& inTrack, const KRVSequencerState* inNeighbour, std::size_t inIndex);
    static std::unique_ptr<KRVTrack> MakeTrack(
        const std::shared_ptr<const KRVSequencerState::TrackImage>& inImage);
    void FireStateRestoredActions();
    void CountTrackEdit(int inTrack0);

    void FireBPMChangedAction();
    void FireClockResetAction();
    void FireConfigChangedAction();
    void FireEventChangedAction(int inTrack0, int inStep0);
    void FireLoopChangedAction();
    void FirePortListChangedAction();
    void FireScaleChangedAction();
    void FireStartAction();
    void FireStopAction();
    void FireTrackChangedAction(int inTrack0);
    void FireTrackAddedAction(int inTrack0);
    void FireTrackDeletedAction(int inTrack0);
    // Calls inCall on every listener in registration order; the list's size is
    // read again before each call, so a listener added meanwhile is called too.
    template <typename Call>
    void ForEachListener(Call inCall);

    KRVBusyFlag mSequencerIsBusy;
    KRVRelaxed<bool> mTimerStarted;
    KRVRelaxed<bool> mVSoloed[kMaxSteps];
    KRVRelaxed<int> mTicks{-1};
    KRVRelaxed<int> mTicksInLoop{kTicksPerBar};
    KRVRelaxed<int> mTicksInSequence{kTicksPerBar};
    KRVRelaxed<int> mTicksPerStep{6};
    KRVRelaxed<std::uint32_t> mTimerPeriodUS{20833};
    // The clock runs on the period in nanoseconds: rounding it to whole
    // microseconds would let the grid drift by up to half a microsecond a
    // tick (a frame every 15 seconds at 48 kHz).
    KRVRelaxed<std::uint64_t> mTimerPeriodNS{20833333};
    KRVRelaxed<double> mBPM{120.0};
    KRVRelaxed<int> mSwing{kStraightSwing};
    KRVTimerThread mTimer;
    // The clock thread's alone while playing; seeded by Reset.
    KRVChanceDraw mChanceDraw;
    // Note-ons the output refused since the last stop.
    std::atomic<std::uint64_t> mDroppedNotes{0};
    // Keyed by (port, channel): one map, so that a name can only mean the
    // channel that has it now.
    std::map<std::pair<int, int>, std::string> mChannelNames;
    KRVPrograms mPrograms;
    KRVPortTiming mPortTiming;
    // By port: whether its receiver was told to run (Start or Continue) and
    // not yet to stop. The clock's; as long as mOutputPorts.
    std::vector<bool> mClockRunning;
    // By port: connected anew, its connection not known to hold yet: it
    // starts no note. Under the busy flag; as long as mOutputPorts.
    std::vector<bool> mPortConnecting;
    // The first tick of a run that starts from the top sends Start; any
    // other announcement is a Continue. Set by Play, cleared by that tick.
    KRVRelaxed<bool> mFromTop;
    // The due times of the last ticks, by the count of ticks since Play
    // modulo their number; under the busy flag. Enough for the ticks the
    // clock hands over ahead at any tempo up to about 1,800 bpm (a JACK
    // lead of 85 ms); faster, a pause may go on a little ahead.
    static constexpr std::size_t kRecentTicks = 64;
    std::uint64_t mRecentDueTimes[kRecentTicks] = {};
    // And the loop's tick each of them played.
    int mRecentLoopTicks[kRecentTicks] = {};
    std::uint64_t mTicksPlayed = 0;
    // How much later than the clock allows the grid of this run started,
    // in the clock's units: as much as the earliest port sends early.
    std::uint64_t mEarlyUnits = 0;
    std::vector<MIDICLOutputPort*> mOutputPorts;
    // Goes after the input that sends on it (members go in reverse order).
    std::unique_ptr<MIDICLOutputPort> mThruPort;
    KRVMIDIInput mInput;
    KRVInputChoice mInputChoice;
    int mInputTrack = 1;
    // Where the thru port was last pointed; an invalid endpoint for nowhere.
    MIDICLEndpointRef mThruDestination;
    int mThruChannel0 = -1;
    std::vector<KRVSequencerListener*> mListeners;
    TransportMode mTransportMode = TransportMode::kOff;
    // Set by the follower's thread while a run of the transport plays.
    KRVRelaxed<bool> mTransportRolling;
    // A stop asked of the transport, so that the rewind after it is not
    // refused as one while playing: the transport stops a cycle later.
    bool mTransportStopAsked = false;
    // Only the command thread changes the sequence and counts.
    std::uint64_t mChangeCount = 0;
    // Tracks are held by pointer so that inserting or deleting one never
    // copies the others (a copy would drop their marks).
    std::vector<std::unique_ptr<KRVTrack>> mTracks;
    // The selection index: the 0-based numbers of the tracks that hold a
    // selected event, seen or beyond the step count. The command thread's
    // alone, like the selection. See RebuildSelectionIndex.
    KRVTrackSet mSelectedTracks0;
    // What CopySteps kept: the 1-based track number and the contents of its
    // steps, in order. Command thread only.
    std::vector<std::pair<int, std::vector<KRVEvent>>> mCopiedSteps;
    std::string mClockSourceName;
    // Last, so that their threads end before any other member goes.
    std::unique_ptr<KRVTransportFollower> mFollower;
    std::unique_ptr<KRVClockFollower> mClockFollower;
};
