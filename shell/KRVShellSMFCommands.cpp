// exportsmf, importsmf. A second word asks for the other form of each:
// "heard" exports what playback plays, "timed" imports notes by their
// times. Any other second word is passed over, as it always was.
#include "KRVArguments.h"
#include "KRVCommands.h"
#include "KRVSequencer.h"
#include "KRVSequencerSMF.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"

KRVCommandResult KRVCommands::ExportSMF(KRVShell& ioShell, const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need file name to export to\n");
    }
    if (ioShell.GetSequencer().GetTrackCount() == 0) {
        return ioShell.Refuse("nowt in memory to export\n");
    }
    KRVSequencerSMF smf(&ioShell.GetSequencer(), &ioShell.GetInterface());
    const char* file = inArguments.Get(1).c_str();
    bool written = inArguments.Get(2) == KRVArgumentWord(KRVArgumentKind::kHeard)
                       ? smf.ExportHeard(file)
                       : smf.Export(file);
    return written ? KRVCommandResult::kSucceeded : KRVCommandResult::kFailed;
}

KRVCommandResult KRVCommands::ImportSMF(KRVShell& ioShell, const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need a file name argument\n");
    }
    KRVSequencerSMF smf(&ioShell.GetSequencer(), &ioShell.GetInterface());
    const char* file = inArguments.Get(1).c_str();
    bool read = inArguments.Get(2) == KRVArgumentWord(KRVArgumentKind::kTimed)
                    ? smf.ImportTimed(file)
                    : smf.Import(file);
    return read ? KRVCommandResult::kSucceeded : KRVCommandResult::kFailed;
}
