// display: the grid as text, a 7-character label and one 4-character cell
// per step on every line, a block of six lines per track. At a terminal too
// narrow for the steps asked for, they come in blocks that fit, one after
// another, each with its own step numbers.
#include <algorithm>
#include <string>

#include "KRVArguments.h"
#include "KRVCommands.h"
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"

namespace {

constexpr size_t kCellWidth = 3;

constexpr int kMaxCharacterBytes = 4;

// Every line is the label and then the cells.
constexpr int kLabelColumns = 7;
constexpr int kStepColumns = 4;

// A range of steps, 1-based, both ends shown.
struct Steps {
    int mFirst;
    int mLast;
};

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

void WriteRuler(KRVShellInterface* inOut, Steps inSteps) {
    inOut->Write("|-----|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        inOut->Write("---|");
    }
    inOut->Write("\n");
}

void WriteHeader(KRVShellInterface* inOut, const KRVSequencer* inSequencer, Steps inSteps) {
    int loopStep = inSequencer->GetLoopStep();
    inOut->Write("|-----|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        // X marks the steps the loop never reaches.
        inOut->Write(step1 < loopStep ? "---|" : "-X-|");
    }
    inOut->Write("\n|T:|S:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
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
                Steps inSteps) {
    const KRVTrack& track = inSequencer->GetTrack(inTrack1);
    inOut->Write("|-----|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        inOut->Write(track.GetEvent(step1).IsSelected() ? "-*-|" : "---|");
    }
    inOut->WriteFormattedD("\n|%02d|N:|", inTrack1);
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        std::string note = KRVEvent::FormatNoteNumber(track.GetEvent(step1).GetNote());
        inOut->WriteFormattedS("%s|", FitCell(note, true).c_str());
    }
    inOut->Write("\n|  |C:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        WriteChannelCell(inOut, inSequencer, track.GetEvent(step1));
    }
    inOut->Write(track.IsMuted() ? "\n|MU|V:|" : "\n|  |V:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        inOut->WriteFormattedD("%3d|", track.GetEvent(step1).GetVelocity());
    }
    inOut->Write("\n|  |G:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        inOut->WriteFormattedD("%3d|", track.GetEvent(step1).GetGateTime());
    }
    inOut->Write("\n|  |S:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        const KRVEvent& event = track.GetEvent(step1);
        char marks[] = {event.IsMuted() ? 'M' : ' ', event.IsHSoloed() ? 'H' : ' ',
                        event.IsVSoloed() ? 'V' : ' ', '|', '\0'};
        inOut->Write(marks);
    }
    inOut->Write("\n");
}

void WriteBlock(KRVShellInterface* inOut, const KRVSequencer* inSequencer, Steps inSteps) {
    WriteHeader(inOut, inSequencer, inSteps);
    for (int track1 = 1; track1 <= inSequencer->GetTrackCount(); track1++) {
        WriteTrack(inOut, inSequencer, track1, inSteps);
    }
    WriteRuler(inOut, inSteps);
}

// How many steps a block shows: all of them where the output is no
// terminal, and at least one however narrow it is.
int StepsPerBlock(int inColumns, int inSteps) {
    if (inColumns <= 0) {
        return inSteps;
    }
    return std::max((inColumns - kLabelColumns) / kStepColumns, 1);
}

// The steps asked for: all, from first to the last, or first to last.
bool ReadSteps(const KRVArguments& inArguments, int inStepCount, Steps* outSteps) {
    *outSteps = {1, inStepCount};
    using Sign = KRVArguments;
    if (inArguments.Has(1) &&
        !inArguments.ReadPosition(1, inStepCount, Sign::kDigitFirst, &outSteps->mFirst)) {
        return false;
    }
    if (inArguments.Has(2) &&
        !inArguments.ReadPosition(2, inStepCount, Sign::kDigitFirst, &outSteps->mLast)) {
        return false;
    }
    return outSteps->mFirst <= outSteps->mLast;
}

}  // namespace

KRVCommandResult KRVCommands::Display(KRVShell& ioShell, const KRVArguments& inArguments) {
    const KRVSequencer& sequencer = ioShell.GetSequencer();
    KRVShellInterface* out = &ioShell.GetInterface();
    Steps steps;
    if (!ReadSteps(inArguments, sequencer.GetStepCount(), &steps)) {
        return ioShell.Refuse("bad step number\n");
    }
    int perBlock = StepsPerBlock(out->GetColumns(), steps.mLast - steps.mFirst + 1);
    for (int first = steps.mFirst; first <= steps.mLast; first += perBlock) {
        if (first > steps.mFirst) {
            out->Write("\n");
        }
        WriteBlock(out, &sequencer, {first, std::min(first + perBlock - 1, steps.mLast)});
    }
    return KRVCommandResult::kSucceeded;
}
