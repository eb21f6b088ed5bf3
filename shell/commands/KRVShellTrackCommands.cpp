// newtrack, deletetrack, copytrack, mutetrack, unmutetrack, setscale, setloop.
#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "model/KRVSequencer.h"

namespace {

using Sign = KRVArguments;

// Says where a track is asked for, and where it goes: old scripts number
// tracks from 0.
int PlaceNewTrack(KRVCommandContext& ioContext, int inPosition) {
    KRVShellInterface& out = ioContext.GetInterface();
    out.WriteFormattedD("adding track %d\n", inPosition);
    if (!ioContext.IsMigrationMode()) {
        return inPosition;
    }
    out.Write("migration mode: bumping track number\n");
    return KRVBumpForMigration(inPosition);
}

}  // namespace

// At the end, or before the track given; a position past the end pads with
// empty tracks up to it.
KRVCommandResult KRVCommands::NewTrack(KRVCommandContext& ioContext,
                                       const KRVArguments& inArguments) {
    KRVSequencer& sequencer = ioContext.GetSequencer();
    KRVShellInterface& out = ioContext.GetInterface();
    bool placed = inArguments.Has(1);
    int position = 0;
    if (placed && !inArguments.ReadNumber(1, Sign::kDigitFirst, &position)) {
        out.Write("bad track number\n");
        return ioContext.Refuse("couldn't add track\n");
    }
    if (placed) {
        position = PlaceNewTrack(ioContext, position);
    }
    if (!(placed ? sequencer.CanAddTrack(position) : sequencer.CanAddTrack())) {
        out.WriteFormattedD("too many tracks (max=%d)\n", KRVSequencer::kMaxTracks);
        return KRVCommandResult::kFailed;
    }
    int number = placed ? sequencer.AddTrack(KRVTrack(), position) : sequencer.AddTrack(KRVTrack());
    out.WriteFormattedD("added track %d\n", number);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::DeleteTrack(KRVCommandContext& ioContext,
                                          const KRVArguments& inArguments) {
    const int track1 = inArguments.GetValue(1);
    ioContext.GetSequencer().DeleteTrack(track1);
    ioContext.GetInterface().WriteFormattedD("deleted track %d\n", track1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::CopyTrack(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    const int from1 = inArguments.GetValue(1);
    const int to1 = inArguments.GetValue(2);
    ioContext.GetSequencer().CopyTrack(from1, to1);
    ioContext.GetInterface().WriteFormattedDD("copied track %d to track %d\n", from1, to1);
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::MuteTrack(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    ioContext.GetSequencer().MuteTrack(inArguments.GetValue(1));
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::UnMuteTrack(KRVCommandContext& ioContext,
                                          const KRVArguments& inArguments) {
    ioContext.GetSequencer().UnMuteTrack(inArguments.GetValue(1));
    return KRVCommandResult::kSucceeded;
}

// Also refused by the sequencer: steps under 2 ticks (no room for a
// note-off) or more played steps than a track holds.
KRVCommandResult KRVCommands::SetScale(KRVCommandContext& ioContext,
                                       const KRVArguments& inArguments) {
    KRVShellInterface& out = ioContext.GetInterface();
    const int bars = inArguments.GetValue(1);
    const int steps = inArguments.GetValue(2);
    if (steps > KRVSequencer::kMaxSteps) {
        return ioContext.Refuse("too many steps (max=64)\n");
    }
    if (!ioContext.GetSequencer().SetScale(bars, steps)) {
        out.WriteFormattedDD("can't play %d bars of %d steps (steps under 2 ticks or over 64)\n",
                             bars, steps);
        return KRVCommandResult::kFailed;
    }
    out.WriteFormattedDD("set scale to %d bars %d steps\n", bars, steps);
    return KRVCommandResult::kSucceeded;
}

// The step after the last is allowed: the loop then plays every step, and
// after a partial last step also that one.
KRVCommandResult KRVCommands::SetLoop(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    const int step1 = inArguments.GetValue(1);
    ioContext.GetSequencer().SetLoopStep(step1);
    ioContext.GetInterface().WriteFormattedD("set loop step to %d\n", step1);
    return KRVCommandResult::kSucceeded;
}
