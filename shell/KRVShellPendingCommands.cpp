// Commands whose handlers are not built yet: each answers with one line.
#include "KRVShell.h"
#include "KRVShellInterface.h"

int KRVShell::ReportNotAvailable(KRVShell* inShell) {
    inShell->mInterface->WriteFormattedS("%s: not available yet\n", inShell->GetParam(0));
    return 0;
}

int KRVShell::DefaultSequence(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::DeleteConfig(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::DeleteSequence(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Load(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Migration(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Read(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Save(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SaveConfig(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SaveSelection(KRVShell* inShell) { return ReportNotAvailable(inShell); }
