// display: the grid as text, a 7-character label and one 4-character cell
// per step on every line, a block of six lines per track, and a line more
// for each of chance, ratchet and length on a track that has them. At a terminal too
// narrow for the steps asked for, they come in blocks that fit, one after
// another, each with its own step numbers.
#include <algorithm>
#include <string>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "model/KRVSequencer.h"

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

// printf's %<width>d, or with inZeros %0<width>d, of a number that is never
// negative here, in base 10 or (%x) 16.
void AppendNumber(std::string* ioText, unsigned inValue, std::size_t inWidth, bool inZeros,
                  unsigned inBase = 10) {
    char digits[16];
    char* first = digits + sizeof digits;
    do {
        *--first = "0123456789abcdef"[inValue % inBase];
        inValue /= inBase;
    } while (inValue != 0);
    const std::size_t length = static_cast<std::size_t>(digits + sizeof digits - first);
    if (length < inWidth) {
        ioText->append(inWidth - length, inZeros ? '0' : ' ');
    }
    ioText->append(first, length);
}

// Each part of the grid is put together in a line buffer and written in one
// piece: a large sequence has hundreds of thousands of cells.
void AppendRuler(std::string* ioText, Steps inSteps) {
    ioText->append("|-----|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        ioText->append("---|");
    }
    ioText->append("\n");
}

void AppendHeader(std::string* ioText, const KRVSequencer* inSequencer, Steps inSteps) {
    int loopStep = inSequencer->GetLoopStep();
    ioText->append("|-----|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        // X marks the steps the loop never reaches.
        ioText->append(step1 < loopStep ? "---|" : "-X-|");
    }
    ioText->append("\n|T:|S:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        AppendNumber(ioText, static_cast<unsigned>(step1), 3, true);
        ioText->append("|");
    }
    ioText->append("\n");
}

void AppendChannelCell(std::string* ioText, const KRVSequencer* inSequencer,
                       const KRVEvent& inEvent) {
    std::string name = inSequencer->GetChannelName(inEvent.GetPort(), inEvent.GetChannel());
    if (!name.empty()) {
        ioText->append(FitCell(name, false));
    } else {
        AppendNumber(ioText, inEvent.GetPort(), 0, false, 16);
        AppendNumber(ioText, inEvent.GetChannel(), 2, false);
    }
    ioText->append("|");
}

// One line of a value of every step, under inLabel ("|  |R:|"), only on a
// track that has a step, within the step count, whose value is not
// inUsual: every block of the track shows the same lines, and a sequence
// that uses none shows as it always has.
template <typename Value>
void AppendPlayLine(std::string* ioText, const KRVSequencer* inSequencer, const KRVTrack& inTrack,
                    Steps inSteps, const char* inLabel, unsigned inUsual, Value inValue) {
    bool used = false;
    for (int step1 = 1; step1 <= inSequencer->GetStepCount() && !used; step1++) {
        used = inValue(inTrack.GetEvent(step1)) != inUsual;
    }
    if (!used) {
        return;
    }
    ioText->append(inLabel);
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        AppendNumber(ioText, inValue(inTrack.GetEvent(step1)), 3, false);
        ioText->append("|");
    }
    ioText->append("\n");
}

// The chance (%:), ratchet (R:) and length (L:) lines.
void AppendPlayLines(std::string* ioText, const KRVSequencer* inSequencer, const KRVTrack& inTrack,
                     Steps inSteps) {
    AppendPlayLine(ioText, inSequencer, inTrack, inSteps, "|  |%:|", KRVEvent::kAlwaysPlays,
                   [](const KRVEvent& inEvent) { return unsigned{inEvent.GetChance()}; });
    AppendPlayLine(ioText, inSequencer, inTrack, inSteps, "|  |R:|", 1,
                   [](const KRVEvent& inEvent) { return unsigned{inEvent.GetRatchet()}; });
    AppendPlayLine(ioText, inSequencer, inTrack, inSteps, "|  |L:|", 1,
                   [](const KRVEvent& inEvent) { return unsigned{inEvent.GetLength()}; });
}

void AppendTrack(std::string* ioText, const KRVSequencer* inSequencer, int inTrack1,
                 Steps inSteps) {
    const KRVTrack& track = inSequencer->GetTrack(inTrack1);
    ioText->append("|-----|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        ioText->append(track.GetEvent(step1).IsSelected() ? "-*-|" : "---|");
    }
    ioText->append("\n|");
    AppendNumber(ioText, static_cast<unsigned>(inTrack1), 2, true);
    ioText->append("|N:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        ioText->append(FitCell(KRVEvent::FormatNoteNumber(track.GetEvent(step1).GetNote()), true));
        ioText->append("|");
    }
    ioText->append("\n|  |C:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        AppendChannelCell(ioText, inSequencer, track.GetEvent(step1));
    }
    ioText->append(track.IsMuted() ? "\n|MU|V:|" : "\n|  |V:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        AppendNumber(ioText, track.GetEvent(step1).GetVelocity(), 3, false);
        ioText->append("|");
    }
    ioText->append("\n|  |G:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        AppendNumber(ioText, track.GetEvent(step1).GetGateTime(), 3, false);
        ioText->append("|");
    }
    ioText->append("\n|  |S:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        const KRVEvent& event = track.GetEvent(step1);
        const char marks[] = {event.IsMuted() ? 'M' : ' ', event.IsHSoloed() ? 'H' : ' ',
                              event.IsVSoloed() ? 'V' : ' ', '|'};
        ioText->append(marks, sizeof marks);
    }
    ioText->append("\n");
    AppendPlayLines(ioText, inSequencer, track, inSteps);
}

// One block: the header, every track and the closing ruler, each part
// written in one piece.
void WriteBlock(KRVShellInterface* inOut, const KRVSequencer* inSequencer, Steps inSteps) {
    std::string text;
    AppendHeader(&text, inSequencer, inSteps);
    inOut->Write(text.c_str());
    for (int track1 = 1; track1 <= inSequencer->GetTrackCount(); track1++) {
        text.clear();
        AppendTrack(&text, inSequencer, track1, inSteps);
        inOut->Write(text.c_str());
    }
    text.clear();
    AppendRuler(&text, inSteps);
    inOut->Write(text.c_str());
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
    *outSteps = {inArguments.Has(1) ? inArguments.GetValue(1) : 1,
                 inArguments.Has(2) ? inArguments.GetValue(2) : inStepCount};
    return outSteps->mFirst <= outSteps->mLast;
}

}  // namespace

KRVCommandResult KRVCommands::Display(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    KRVShellInterface* out = &ioContext.GetInterface();
    Steps steps;
    if (!ReadSteps(inArguments, sequencer.GetStepCount(), &steps)) {
        return ioContext.Refuse("bad step number\n");
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
