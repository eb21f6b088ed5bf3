// exportsmf, importsmf.
#include "KRVSequencer.h"
#include "KRVSequencerSMF.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"

int KRVShell::ExportSMF(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need file name to export to\n")) {
        return 0;
    }
    if (inShell->mSequencer->GetTrackCount() == 0) {
        out->Write("nowt in memory to export\n");
        return 0;
    }
    KRVSequencerSMF smf(inShell->mSequencer, out);
    return smf.Export(inShell->GetParam(1));
}

int KRVShell::ImportSMF(KRVShell* inShell) {
    if (!inShell->NeedParams(1, "need a file name argument\n")) {
        return 0;
    }
    KRVSequencerSMF smf(inShell->mSequencer, inShell->mInterface);
    return smf.Import(inShell->GetParam(1));
}
