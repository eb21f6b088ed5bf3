#include "TestShell.h"
#include "input/KRVLiveRecording.h"

namespace {

// The commands that change nothing take no step; the table walk covers
// those that do.
TEST(KRVUndo, CommandsThatChangeNothingTakeNoStep) {
    Scratch folder(true);
    MIDICLClient client("test", "none");
    KRVSequencer sequencer;
    sequencer.AddPort(client.MakeOutputPort("out"));
    int steps = 0;
    std::string said = RunShell(sequencer,
                                "newtrack\ndisplay\nexportsmf x.mid\nhelp\nhistory\nmigration\n"
                                "play\npause\nports\nreset\nsave y\nsaveconfig z\n"
                                "saveselection w\nstatus\nstop\nversion\ncopysteps 1 2\n",
                                &steps);
    EXPECT_EQ(steps, 1) << said;
}

// A recording is one step from its start to its end, the commands typed
// meanwhile included: undo puts back the sequence as it was before, the
// track a chord made gone and the steps replace muted playing again.
TEST(KRVUndo, ATakeIsOneStep) {
    KRVSequencer sequencer;
    sequencer.AddTrack(KRVTrack());
    KRVUndoHistory history(sequencer);
    sequencer.SetNote(1, 1, 50);
    EXPECT_TRUE(history.Record(sequencer, {1, "setnote 50"}));
    const KRVSequencerState before = sequencer.CaptureState(nullptr);
    history.Open({2, "record replace"});
    KRVLiveRecording recording(sequencer, 1, KRVLiveRecording::Mode::kReplace, {0, 0});
    recording.Press(62, 90, {20, 20});
    recording.Press(66, 90, {21, 21});
    sequencer.SetVelocity(1, 5, 10);
    EXPECT_FALSE(history.Record(sequencer, {3, "setvelocity 10"}));
    recording.End({200, 104});
    EXPECT_TRUE(history.Close(sequencer));
    KRVUndoHistory::Label label;
    ASSERT_TRUE(history.Undo(sequencer, &label));
    EXPECT_EQ(label.mNumber, 2);
    EXPECT_TRUE(sequencer.CaptureState(nullptr) == before);
}

// The last 100 changes of a 1,024-track sequence, each of every track, are
// kept, within the bound; a change of one event costs one track's image and
// the list of the tracks, a twentieth of a whole change.
TEST(KRVUndo, KeepsAHundredWholeChangesWithinTheBound) {
    KRVSequencer sequencer;
    std::string script = "newtrack 1024\nselectall\n";
    for (int i = 0; i < KRVUndoHistory::kMaxSteps + 5; i++) {
        script += "randomnote " + std::to_string(i % 60) + " 50\n";
    }
    script += "selectevent 1 1\n";
    FILE* in = fmemopen(script.data(), script.size(), "r");
    KRVStdioInterface interface(in, nullptr);
    KRVShell shell(&sequencer, &interface);
    shell.StartTracking();
    shell.Shell(false);
    const KRVUndoHistory& history = *shell.GetUndoHistory();
    EXPECT_EQ(history.GetUndoCount(), KRVUndoHistory::kMaxSteps);
    EXPECT_LE(history.GetBytes(), KRVUndoHistory::kMaxBytes);
    // Each whole change holds the 1,024 images it made.
    const std::size_t whole = 1024 * KRVSequencerState::GetImageBytes();
    EXPECT_GE(history.GetBytes(), KRVUndoHistory::kMaxSteps * whole);
    std::fclose(in);

    KRVUndoHistory small(sequencer);
    const std::size_t before = small.GetBytes();
    sequencer.SetNote(7, 3, 99);
    EXPECT_TRUE(small.Record(sequencer, {1, "setnote 99"}));
    EXPECT_LT(small.GetBytes() - before, whole / 20);
    // Nothing changed since: no step.
    EXPECT_FALSE(small.Record(sequencer, {2, "display"}));
}

// Waits for the clock thread to play inCount more note-ons of inNote.
bool AwaitNoteOns(NoteRecorder& ioCounter, int inNote, int inCount) {
    const int target = ioCounter.CountNoteOns(inNote) + inCount;
    return Await([&] { return ioCounter.CountNoteOns(inNote) >= target; }, std::chrono::minutes(2));
}

// Undo of a load of 1,024 tracks while the clock plays: the tracks are
// exchanged between two ticks, every note ends, and the clock goes on with
// the sequence put back. (The thread sanitizer build checks the exchange.)
TEST(KRVUndo, UndoesALargeLoadWhilePlaying) {
    Scratch folder(true);
    MIDICLClient client("test", "none");
    std::unique_ptr<MIDICLDestination> destination(client.MakeDestination("counter"));
    NoteRecorder counter;
    destination->SetListener(&counter);
    KRVSequencer sequencer;
    MIDICLOutputPort* port = client.MakeOutputPort("out");
    port->SetDestination(0);
    sequencer.AddPort(port);
    RunShell(sequencer,
             "setscale 1 16\nnewtrack 1024\nselectall\nsetnote 72\nsetvelocity 100\n"
             "clear\nsave big.krv\ndeletesequence\nbpm 2000\nnewtrack\nselectall\n"
             "setnote 60\nsetvelocity 100\nclear\n");
    const std::string before = RunShell(sequencer, "display\n");

    std::string script = "play\nload big.krv\n";
    FILE* in = fmemopen(script.data(), script.size(), "r");
    KRVStdioInterface interface(in, nullptr);
    KRVShell shell(&sequencer, &interface);
    shell.StartTracking();
    shell.Shell(false);
    ASSERT_EQ(sequencer.GetTrackCount(), 1024);
    ASSERT_TRUE(AwaitNoteOns(counter, 72, 1));
    EXPECT_EQ(shell.Execute("undo"), KRVCommandResult::kSucceeded);
    // The undo is one step for the typed command (Execute takes none).
    EXPECT_EQ(sequencer.GetTrackCount(), 1);
    const int loadedNotes = counter.CountNoteOns(72);
    ASSERT_TRUE(AwaitNoteOns(counter, 60, 3));
    EXPECT_EQ(counter.CountNoteOns(72), loadedNotes);
    EXPECT_EQ(shell.Execute("redo"), KRVCommandResult::kSucceeded);
    ASSERT_TRUE(AwaitNoteOns(counter, 72, 1));
    EXPECT_EQ(shell.Execute("undo"), KRVCommandResult::kSucceeded);
    ASSERT_TRUE(AwaitNoteOns(counter, 60, 1));
    shell.GetContext().StopPlayback();
    std::fclose(in);
    EXPECT_EQ(counter.CountHanging(), 0);
    EXPECT_EQ(RunShell(sequencer, "display\n"), before);
}

}  // namespace
