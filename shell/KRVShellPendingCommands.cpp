// Commands whose handlers are not built yet: each answers with one line.
#include "KRVShell.h"
#include "KRVShellInterface.h"

int KRVShell::ReportNotAvailable(KRVShell* inShell) {
    inShell->mInterface->WriteFormattedS("%s: not available yet\n", inShell->GetParam(0));
    return 0;
}

int KRVShell::ClearSelection(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::BPM(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::ChangeChannel(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::ChangeNote(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::DefaultSequence(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::DeleteConfig(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::DeleteSequence(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::ExportSMF(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::FitToKey(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::HSolo(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::HUnSolo(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::ImportSMF(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::InvertMute(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::InvertSelection(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Load(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Migration(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Mute(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Pause(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Play(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Ports(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Read(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Reset(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::RandomiseChannel(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::RandomiseGate(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::RandomiseMute(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::RandomiseNote(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::RandomisePort(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::RandomiseVelocity(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Rotate(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Save(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SaveConfig(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SaveSelection(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SelectAll(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SelectEighthNotes(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SelectEvent(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SelectQuarterNotes(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SelectStep(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SelectTrack(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SetChannel(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SetGateTime(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SetNote(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SetPort(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::SetVelocity(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Stop(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::UnMute(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::UnSelectEvent(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::UnSelectStep(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::UnSelectTrack(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Vary(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::Vary2(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::VSolo(KRVShell* inShell) { return ReportNotAvailable(inShell); }
int KRVShell::VUnSolo(KRVShell* inShell) { return ReportNotAvailable(inShell); }
