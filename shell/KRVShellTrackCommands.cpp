// newtrack, deletetrack, copytrack, mutetrack, unmutetrack, setscale, setloop.
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVWords.h"

namespace {

// Says so when a new track would pass the limit; nothing is added then.
bool FitsTrackLimit(KRVShellInterface* inOut, bool inFits) {
    if (!inFits) {
        inOut->WriteFormattedD("too many tracks (max=%d)\n", KRVSequencer::kMaxTracks);
    }
    return inFits;
}

}  // namespace

int KRVShell::NewTrack(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    KRVSequencer* sequencer = inShell->mSequencer;
    KRVTrack track;
    int number = -1;
    if (inShell->GetParamCount() < 1) {
        if (!FitsTrackLimit(out, sequencer->CanAddTrack())) {
            return 0;
        }
        number = sequencer->AddTrack(track);
    } else if (KRVStartsWithDigit(inShell->GetParam(1))) {
        int position = KRVReadInt(inShell->GetParam(1));
        out->WriteFormattedD("adding track %d\n", position);
        // Old scripts number tracks from 0.
        if (inShell->mMigrationMode) {
            out->Write("migration mode: bumping track number\n");
            position = KRVBumpForMigration(position);
        }
        if (!FitsTrackLimit(out, sequencer->CanAddTrack(position))) {
            return 0;
        }
        number = sequencer->AddTrack(track, position);
    } else {
        out->Write("bad track number\n");
    }
    if (number != -1) {
        out->WriteFormattedD("added track %d\n", number);
    } else {
        out->Write("couldn't add track\n");
    }
    return 0;
}

int KRVShell::DeleteTrack(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need track number\n")) {
        return 0;
    }
    int track1 = KRVReadInt(inShell->GetParam(1));
    if (!KRVStartsWithDigit(inShell->GetParam(1)) || track1 < 1 ||
        track1 > inShell->mSequencer->GetTrackCount()) {
        out->Write("bad track number\n");
        return 0;
    }
    inShell->mSequencer->DeleteTrack(track1);
    out->WriteFormattedD("deleted track %d\n", track1);
    return 0;
}

int KRVShell::CopyTrack(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(2, "need from track and to track\n")) {
        return 0;
    }
    int tracks = inShell->mSequencer->GetTrackCount();
    int from1 = KRVReadInt(inShell->GetParam(1));
    if (from1 < 1 || from1 > tracks) {
        out->Write("bad from track number\n");
        return 0;
    }
    int to1 = KRVReadInt(inShell->GetParam(2));
    if (to1 < 1 || to1 > tracks) {
        out->Write("bad to track number\n");
        return 0;
    }
    inShell->mSequencer->CopyTrack(from1, to1);
    out->WriteFormattedDD("copied track %d to track %d\n", from1, to1);
    return 0;
}

// Reads the track of mutetrack and unmutetrack; 0 when it was refused.
int KRVShell::ReadExistingTrack() {
    if (!NeedParams(1, "need track number\n")) {
        return 0;
    }
    int track1 = KRVReadInt(GetParam(1));
    if (track1 < 1 || track1 > mSequencer->GetTrackCount()) {
        mInterface->Write("bad track number\n");
        return 0;
    }
    return track1;
}

int KRVShell::MuteTrack(KRVShell* inShell) {
    if (int track1 = inShell->ReadExistingTrack()) {
        inShell->mSequencer->MuteTrack(track1);
    }
    return 0;
}

int KRVShell::UnMuteTrack(KRVShell* inShell) {
    if (int track1 = inShell->ReadExistingTrack()) {
        inShell->mSequencer->UnMuteTrack(track1);
    }
    return 0;
}

int KRVShell::SetScale(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(2, "need bars & steps params\n")) {
        return 0;
    }
    int bars = KRVReadInt(inShell->GetParam(1));
    int steps = KRVReadInt(inShell->GetParam(2));
    if (bars < 1 || steps < 1) {
        out->Write("need sensible bars & steps\n");
        return 0;
    }
    if (steps > KRVSequencer::kMaxSteps) {
        out->Write("too many steps (max=64)\n");
        return 0;
    }
    // Also refused: steps under 2 ticks (no room for a note-off) or more
    // played steps than a track holds.
    if (!inShell->mSequencer->SetScale(bars, steps)) {
        out->WriteFormattedDD("can't play %d bars of %d steps (steps under 2 ticks or over 64)\n",
                              bars, steps);
        return 0;
    }
    out->WriteFormattedDD("set scale to %d bars %d steps\n", bars, steps);
    return 0;
}

int KRVShell::SetLoop(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need loop step param\n")) {
        return 0;
    }
    int step1 = KRVReadInt(inShell->GetParam(1));
    if (!KRVStartsWithDigit(inShell->GetParam(1)) || step1 < 1 ||
        step1 > inShell->mSequencer->GetStepCount() + 1) {
        out->Write("bad step number\n");
        return 0;
    }
    inShell->mSequencer->SetLoopStep(step1);
    out->WriteFormattedD("set loop step to %d\n", step1);
    return 0;
}
