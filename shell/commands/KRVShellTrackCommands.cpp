// newtrack, deletetrack, copytrack, mutetrack, unmutetrack, setscale, setloop.
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "model/KRVSequencer.h"

namespace {

using Sign = KRVArguments;

// The track of mutetrack and unmutetrack; 0 after a refusal.
int ReadExistingTrack(KRVShell& ioShell, const KRVArguments& inArguments) {
    int track1 = 0;
    if (!inArguments.Has(1)) {
        ioShell.Refuse("need track number\n");
        return 0;
    }
    int tracks = ioShell.GetSequencer().GetTrackCount();
    if (!inArguments.ReadPosition(1, tracks, Sign::kSignAllowed, &track1)) {
        ioShell.Refuse("bad track number\n");
        return 0;
    }
    return track1;
}

// Says where a track is asked for, and where it goes: old scripts number
// tracks from 0.
int PlaceNewTrack(KRVShell& ioShell, int inPosition) {
    KRVShellInterface& out = ioShell.GetInterface();
    out.WriteFormattedD("adding track %d\n", inPosition);
    if (!ioShell.IsMigrationMode()) {
        return inPosition;
    }
    out.Write("migration mode: bumping track number\n");
    return KRVBumpForMigration(inPosition);
}

}  // namespace

// At the end, or before the track given; a position past the end pads with
// empty tracks up to it.
KRVCommandResult KRVCommands::NewTrack(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    KRVShellInterface& out = ioShell.GetInterface();
    bool placed = inArguments.Has(1);
    int position = 0;
    if (placed && !inArguments.ReadNumber(1, Sign::kDigitFirst, &position)) {
        out.Write("bad track number\n");
        return ioShell.Refuse("couldn't add track\n");
    }
    if (placed) {
        position = PlaceNewTrack(ioShell, position);
    }
    if (!(placed ? sequencer.CanAddTrack(position) : sequencer.CanAddTrack())) {
        out.WriteFormattedD("too many tracks (max=%d)\n", KRVSequencer::kMaxTracks);
        return KRVCommandResult::kFailed;
    }
    int number = placed ? sequencer.AddTrack(KRVTrack(), position) : sequencer.AddTrack(KRVTrack());
    out.WriteFormattedD("added track %d\n", number);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::DeleteTrack(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    int track1 = 0;
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need track number\n");
    }
    if (!inArguments.ReadPosition(1, sequencer.GetTrackCount(), Sign::kDigitFirst, &track1)) {
        return ioShell.Refuse("bad track number\n");
    }
    sequencer.DeleteTrack(track1);
    ioShell.GetInterface().WriteFormattedD("deleted track %d\n", track1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::CopyTrack(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    int tracks = sequencer.GetTrackCount();
    int from1 = 0;
    int to1 = 0;
    if (!inArguments.Has(2)) {
        return ioShell.Refuse("need from track and to track\n");
    }
    if (!inArguments.ReadPosition(1, tracks, Sign::kSignAllowed, &from1)) {
        return ioShell.Refuse("bad from track number\n");
    }
    if (!inArguments.ReadPosition(2, tracks, Sign::kSignAllowed, &to1)) {
        return ioShell.Refuse("bad to track number\n");
    }
    sequencer.CopyTrack(from1, to1);
    ioShell.GetInterface().WriteFormattedDD("copied track %d to track %d\n", from1, to1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::MuteTrack(KRVShell& ioShell, const KRVArguments& inArguments) {
    int track1 = ReadExistingTrack(ioShell, inArguments);
    if (track1 == 0) {
        return KRVCommandResult::kFailed;
    }
    ioShell.GetSequencer().MuteTrack(track1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::UnMuteTrack(KRVShell& ioShell, const KRVArguments& inArguments) {
    int track1 = ReadExistingTrack(ioShell, inArguments);
    if (track1 == 0) {
        return KRVCommandResult::kFailed;
    }
    ioShell.GetSequencer().UnMuteTrack(track1);
    return KRVCommandResult::kSucceeded;
}

// Also refused by the sequencer: steps under 2 ticks (no room for a
// note-off) or more played steps than a track holds.
KRVCommandResult KRVCommands::SetScale(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVShellInterface& out = ioShell.GetInterface();
    if (!inArguments.Has(2)) {
        return ioShell.Refuse("need bars & steps params\n");
    }
    int bars = inArguments.ReadInt(1);
    int steps = inArguments.ReadInt(2);
    if (bars < 1 || steps < 1) {
        return ioShell.Refuse("need sensible bars & steps\n");
    }
    if (steps > KRVSequencer::kMaxSteps) {
        return ioShell.Refuse("too many steps (max=64)\n");
    }
    if (!ioShell.GetSequencer().SetScale(bars, steps)) {
        out.WriteFormattedDD("can't play %d bars of %d steps (steps under 2 ticks or over 64)\n",
                             bars, steps);
        return KRVCommandResult::kFailed;
    }
    out.WriteFormattedDD("set scale to %d bars %d steps\n", bars, steps);
    return KRVCommandResult::kSucceeded;
}

// The step after the last is allowed: the loop then plays every step, and
// after a partial last step also that one.
KRVCommandResult KRVCommands::SetLoop(KRVShell& ioShell, const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioShell.GetSequencer();
    int step1 = 0;
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need loop step param\n");
    }
    if (!inArguments.ReadPosition(1, sequencer.GetPlayedStepCount() + 1, Sign::kDigitFirst,
                                  &step1)) {
        return ioShell.Refuse("bad step number\n");
    }
    sequencer.SetLoopStep(step1);
    ioShell.GetInterface().WriteFormattedD("set loop step to %d\n", step1);
    return KRVCommandResult::kSucceeded;
}
