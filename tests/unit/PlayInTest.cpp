// Notes played in from a keyboard land on the steps and tracks a musician
// means: step entry by keys, live recording by time.
#include "Harness.h"
#include "input/KRVLiveRecording.h"
#include "input/KRVStepEntry.h"

namespace {

// A track's steps from inFirst1 to inLast1 as "note velocity gate", a
// muted step in brackets.
std::string Steps(const KRVSequencer& inSequencer, int inTrack1, int inFirst1, int inLast1) {
    std::string text;
    for (int step1 = inFirst1; step1 <= inLast1; step1++) {
        const KRVEvent& event = inSequencer.GetEvent(inTrack1, step1);
        const std::string step = KRVEvent::FormatNoteNumber(event.GetNote()) + " " +
                                 std::to_string(event.GetVelocity()) + " " +
                                 std::to_string(event.GetGateTime());
        text += (event.IsMuted() ? "[" + step + "]" : step) + (step1 < inLast1 ? ", " : "");
    }
    return text;
}

// Velocity is the note + 10; note 0 is the sustain pedal's rest. The loop
// is steps 1 to 6; entry starts at step 2. A key that bounced within its
// chord (E4 again) is one note.
TEST(KRVStepEntry, WritesAMelodyAndChordsOnTheirSteps) {
    KRVSequencer sequencer;
    sequencer.AddTrack(KRVTrack());
    sequencer.SetLoopStep(7);
    KRVStepEntry entry(sequencer, 1, 2);
    const std::pair<int, double> keys[] = {{60, 1.0},   {62, 1.5},   {0, 1.8},
                                           {67, 2.0},   {64, 2.012}, {72, 2.035},
                                           {64, 2.036}, {69, 3.0},   {65, 3.03}};
    for (const auto& [note, seconds] : keys) {
        KRVStepEntry::Chord chord;
        EXPECT_TRUE(note == 0 ? entry.Rest()
                              : entry.Press(note, note + 10, seconds, &chord) || note == 64);
    }
    ASSERT_EQ(sequencer.GetTrackCount(), 3);
    // Tracks made for a chord copy the track played into, every step muted.
    EXPECT_EQ(Steps(sequencer, 1, 1, 7),
              "C-1 64 50, C4 70 50, D4 72 50, C-1 64 50, E4 74 50, F4 75 50, C-1 64 50");
    EXPECT_EQ(Steps(sequencer, 2, 2, 7),
              "[C4 70 50], [D4 72 50], [C-1 64 50], G4 77 50, A4 79 50, [C-1 64 50]");
    EXPECT_EQ(Steps(sequencer, 3, 2, 7),
              "[C4 70 50], [D4 72 50], [C-1 64 50], C5 82 50, [C-1 64 50], [C-1 64 50]");
    // Past the loop's last step the last chord still takes keys, then entry
    // ends.
    EXPECT_TRUE(entry.IsPastLoop());
    EXPECT_FALSE(entry.HasEnded(3.02));
    EXPECT_TRUE(entry.HasEnded(3.1));
    KRVStepEntry::Chord chord;
    EXPECT_FALSE(entry.Press(60, 100, 4.0, &chord));
}

// Ticks handed over on the monotonic clock at a tempo, as the timer thread
// does, 16 steps of 6 ticks a loop.
class Clock {
public:
    Clock(KRVSequencer& ioSequencer, double inBPM)
        : mSequencer(ioSequencer), mTickNS(60e9 / (inBPM * KRVSequencer::kTicksPerQuarterNote)) {
        mSequencer.SetBPM(inBPM);
    }
    // The time of step inStep1 of loop inLoop1, and inSteps steps later.
    double At(int inLoop1, int inStep1, double inSteps) const {
        return kStartNS + ((inLoop1 - 1) * 16 + inStep1 - 1 + inSteps) * 6 * mTickNS;
    }
    // Where playback stood at inNS, once the ticks up to it have come.
    KRVSequencer::PlayedAt Until(double inNS) {
        while (kStartNS + mTicks * mTickNS <= inNS) {
            mSequencer.TimerTick(static_cast<std::uint64_t>(kStartNS + mTicks++ * mTickNS));
        }
        KRVSequencer::PlayedAt at;
        EXPECT_TRUE(mSequencer.GetPlayedAt(static_cast<std::uint64_t>(inNS), &at));
        return at;
    }

private:
    static constexpr double kStartNS = 1e9;
    KRVSequencer& mSequencer;
    const double mTickNS;
    int mTicks = 0;
};

// A note played: in loop inLoop1 at step inStep1 and inOffset steps from
// its start, for inLength steps.
struct Played {
    int mLoop1;
    int mStep1;
    double mOffset;
    double mLength;
    int mNote;
};

// Records the notes from the first tick on, and ends at step 10 of loop 2;
// velocity is the note - 20.
void Record(KRVSequencer& ioSequencer, double inBPM, KRVLiveRecording::Mode inMode,
            const std::vector<Played>& inNotes) {
    Clock clock(ioSequencer, inBPM);
    KRVLiveRecording recording(ioSequencer, 1, inMode, clock.Until(clock.At(1, 1, 0)));
    std::vector<std::tuple<double, int, bool>> keys;
    for (const Played& note : inNotes) {
        const double start = clock.At(note.mLoop1, note.mStep1, note.mOffset);
        keys.emplace_back(start, note.mNote, true);
        keys.emplace_back(start + clock.At(1, 1, note.mLength) - clock.At(1, 1, 0), note.mNote,
                          false);
    }
    std::sort(keys.begin(), keys.end());
    for (const auto& [time, note, pressed] : keys) {
        const KRVSequencer::PlayedAt at = clock.Until(time);
        recording.Follow(at);
        if (pressed) {
            recording.Press(note, note - 20, at);
        } else {
            recording.Release(note, at);
        }
    }
    recording.End(clock.Until(clock.At(2, 10, 0)));
}

// Each note lands on the step nearest its start, also when it is played a
// little before the step (the last loop's end comes before step 1) and
// when playing a step late; gates are lengths rounded up, at most 90.
// Notes on one step are a chord on tracks of their own, lowest first.
// Replace mutes what its first loop passed without a note, and adds after
// that (step 8 in loop 2).
TEST(KRVLiveRecording, LandsOnTheNearestStepWithGatesFromLengths) {
    const std::vector<Played> notes = {{1, 1, 0.1, 0.497, 60}, {1, 3, -0.45, 0.243, 62},
                                       {1, 5, 0.55, 1.5, 64},  {1, 16, 0.6, 0.301, 72},
                                       {2, 8, 0.3, 0.301, 65}, {1, 9, 0.2, 0.9, 67},
                                       {2, 9, -0.3, 0.197, 67}};
    for (const double bpm : {120.0, 137.0}) {
        for (const auto mode :
             {KRVLiveRecording::Mode::kReplace, KRVLiveRecording::Mode::kOverdub}) {
            SCOPED_TRACE(std::to_string(bpm) +
                         (mode == KRVLiveRecording::Mode::kReplace ? " replace" : " overdub"));
            KRVSequencer sequencer;
            sequencer.AddTrack(KRVTrack());
            Record(sequencer, bpm, mode, notes);
            ASSERT_EQ(sequencer.GetTrackCount(), 2);
            const bool replaced = mode == KRVLiveRecording::Mode::kReplace;
            const std::string rest = replaced ? "[C-1 64 50]" : "C-1 64 50";
            EXPECT_EQ(Steps(sequencer, 1, 1, 10), "C4 40 50, " + rest + ", D4 42 25, " + rest +
                                                      ", " + rest + ", E4 44 90, " + rest +
                                                      ", F4 45 31, G4 47 20, " + rest);
            EXPECT_EQ(Steps(sequencer, 2, 1, 3), "C5 52 31, [C-1 64 50], [D4 42 25]");
        }
    }
}

}  // namespace
