// play, pause, stop, reset and bpm.
#include "KRVArguments.h"
#include "KRVCommands.h"
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVWords.h"

KRVCommandResult KRVCommands::Play(KRVShell& ioShell, const KRVArguments&) {
    ioShell.FollowDestinations();
    ioShell.TellOutputGone(true);
    int error = ioShell.GetSequencer().Play();
    // Said once the clock runs: an output nobody reads holds up no music.
    ioShell.ExplainSilence();
    if (error != 0) {
        ioShell.GetInterface().WriteFormattedD("KRVSequencer: PrimeTimeTask returned error %d \n",
                                               error);
        return KRVCommandResult::kFailed;
    }
    return KRVCommandResult::kSucceeded;
}

// The position is kept, but the next play starts from the top anyway.
KRVCommandResult KRVCommands::Pause(KRVShell& ioShell, const KRVArguments&) {
    ioShell.StopPlayback();
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Stop(KRVShell& ioShell, const KRVArguments&) {
    ioShell.StopPlayback();
    ioShell.GetSequencer().Reset();
    return KRVCommandResult::kSucceeded;
}

KRVCommandResult KRVCommands::Reset(KRVShell& ioShell, const KRVArguments&) {
    ioShell.GetSequencer().Reset();
    return KRVCommandResult::kSucceeded;
}

// A tempo that gives no usable clock (0, negative, not a number, or above
// 25,000) is refused.
KRVCommandResult KRVCommands::BPM(KRVShell& ioShell, const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need bpm param\n");
    }
    // Kept as typed, in double precision, so that a saved tempo (a file's
    // or the command line's too) reads back as it was.
    double bpm = KRVReadDouble(inArguments.Get(1));
    if (!ioShell.GetSequencer().SetBPM(bpm)) {
        ioShell.GetInterface().WriteFormattedS("%s: having trouble parsing bpm\n",
                                               inArguments.Get(1).c_str());
        return KRVCommandResult::kFailed;
    }
    return KRVCommandResult::kSucceeded;
}
