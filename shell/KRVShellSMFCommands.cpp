// exportsmf, importsmf.
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
    return smf.Export(inArguments.Get(1).c_str()) ? KRVCommandResult::kSucceeded
                                                  : KRVCommandResult::kFailed;
}

KRVCommandResult KRVCommands::ImportSMF(KRVShell& ioShell, const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ioShell.Refuse("need a file name argument\n");
    }
    KRVSequencerSMF smf(&ioShell.GetSequencer(), &ioShell.GetInterface());
    return smf.Import(inArguments.Get(1).c_str()) ? KRVCommandResult::kSucceeded
                                                  : KRVCommandResult::kFailed;
}
