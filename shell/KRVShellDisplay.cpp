// display: the whole grid as text, a 7-character label and one 4-character
// cell per step on every line, a block of six lines per track.
#include <string>

#include "KRVCommands.h"
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"

namespace {

constexpr size_t kCellWidth = 3;

constexpr int kMaxCharacterBytes = 4;

// UTF-8 continuation bytes (10xxxxxx) carry on the character before them.
// Stray ones (nothing before them, or more than a character can have) count
// as characters of their own, so that no name can widen its cell.
bool StartsCharacter(char inByte, int inBytesSoFar) {
    bool continuation = (static_cast<unsigned char>(inByte) & 0xC0) == 0x80;
    return !continuation || inBytesSoFar == 0 || inBytesSoFar >= kMaxCharacterBytes;
}

// Fits a name into a 3-character cell: shorter names are padded on the side
// given, longer ones cut to their first three characters. Characters, not
// bytes, are counted, so a cut never splits a UTF-8 character.
std::string FitCell(const std::string& inText, bool inPadFront) {
    size_t characters = 0;
    int bytesInCharacter = 0;
    for (size_t byte = 0; byte < inText.size(); byte++) {
        if (StartsCharacter(inText[byte], bytesInCharacter)) {
            if (++characters > kCellWidth) {
                return inText.substr(0, byte);
            }
            bytesInCharacter = 0;
        }
        bytesInCharacter++;
    }
    std::string padding(kCellWidth - characters, ' ');
    return inPadFront ? padding + inText : inText + padding;
}

void WriteRuler(KRVShellInterface* inOut, int inSteps) {
    inOut->Write("|-----|");
    for (int step1 = 1; step1 <= inSteps; step1++) {
        inOut->Write("---|");
    }
    inOut->Write("\n");
}

void WriteHeader(KRVShellInterface* inOut, const KRVSequencer* inSequencer, int inSteps) {
    int loopStep = inSequencer->GetLoopStep();
    inOut->Write("|-----|");
    for (int step1 = 1; step1 <= inSteps; step1++) {
        // X marks the steps the loop never reaches.
        inOut->Write(step1 < loopStep ? "---|" : "-X-|");
    }
    inOut->Write("\n|T:|S:|");
    for (int step1 = 1; step1 <= inSteps; step1++) {
        inOut->WriteFormattedD("%03d|", step1);
    }
    inOut->Write("\n");
}

void WriteChannelCell(KRVShellInterface* inOut, const KRVSequencer* inSequencer,
                      const KRVEvent& inEvent) {
    std::string name = inSequencer->GetChannelName(inEvent.GetPort(), inEvent.GetChannel());
    if (!name.empty()) {
        inOut->WriteFormattedS("%s|", FitCell(name, false).c_str());
    } else {
        inOut->WriteFormattedDD("%x%2d|", inEvent.GetPort(), inEvent.GetChannel());
    }
}

void WriteTrack(KRVShellInterface* inOut, const KRVSequencer* inSequencer, int inTrack1,
                int inSteps) {
    const KRVTrack& track = inSequencer->GetTrack(inTrack1);
    inOut->Write("|-----|");
    for (int step1 = 1; step1 <= inSteps; step1++) {
        inOut->Write(track.GetEvent(step1).IsSelected() ? "-*-|" : "---|");
    }
    inOut->WriteFormattedD("\n|%02d|N:|", inTrack1);
    for (int step1 = 1; step1 <= inSteps; step1++) {
        std::string note = KRVEvent::FormatNoteNumber(track.GetEvent(step1).GetNote());
        inOut->WriteFormattedS("%s|", FitCell(note, true).c_str());
    }
    inOut->Write("\n|  |C:|");
    for (int step1 = 1; step1 <= inSteps; step1++) {
        WriteChannelCell(inOut, inSequencer, track.GetEvent(step1));
    }
    inOut->Write(track.IsMuted() ? "\n|MU|V:|" : "\n|  |V:|");
    for (int step1 = 1; step1 <= inSteps; step1++) {
        inOut->WriteFormattedD("%3d|", track.GetEvent(step1).GetVelocity());
    }
    inOut->Write("\n|  |G:|");
    for (int step1 = 1; step1 <= inSteps; step1++) {
        inOut->WriteFormattedD("%3d|", track.GetEvent(step1).GetGateTime());
    }
    inOut->Write("\n|  |S:|");
    for (int step1 = 1; step1 <= inSteps; step1++) {
        const KRVEvent& event = track.GetEvent(step1);
        char marks[] = {event.IsMuted() ? 'M' : ' ', event.IsHSoloed() ? 'H' : ' ',
                        event.IsVSoloed() ? 'V' : ' ', '|', '\0'};
        inOut->Write(marks);
    }
    inOut->Write("\n");
}

}  // namespace

KRVCommandResult KRVCommands::Display(KRVShell& ioShell, const KRVArguments&) {
    const KRVSequencer& sequencer = ioShell.GetSequencer();
    KRVShellInterface* out = &ioShell.GetInterface();
    int steps = sequencer.GetStepCount();
    WriteHeader(out, &sequencer, steps);
    for (int track1 = 1; track1 <= sequencer.GetTrackCount(); track1++) {
        WriteTrack(out, &sequencer, track1, steps);
    }
    WriteRuler(out, steps);
    return KRVCommandResult::kSucceeded;
}
