#include "commands/KRVGridText.h"

#include <algorithm>

#include "model/KRVSequencer.h"

namespace {

constexpr size_t kCellWidth = 3;

constexpr int kMaxCharacterBytes = 4;

using Steps = KRVGridText::Steps;

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

// The kinds of line a track has beyond its six only where a step uses them:
// chance (%:), ratchet (R:) and length (L:), each with its usual value.
// A track that swings has a swing line after them, and a legato track a
// legato line after that.
struct PlayLine {
    const char* mLabel;
    unsigned mUsual;
    unsigned (*mValue)(const KRVEvent&);
};
constexpr PlayLine kPlayLines[] = {
    {"|  |%:|", KRVEvent::kAlwaysPlays,
     [](const KRVEvent& inEvent) { return unsigned{inEvent.GetChance()}; }},
    {"|  |R:|", 1, [](const KRVEvent& inEvent) { return unsigned{inEvent.GetRatchet()}; }},
    {"|  |L:|", 1, [](const KRVEvent& inEvent) { return unsigned{inEvent.GetLength()}; }},
};

// Whether the track shows the line: a step within the step count whose value
// is not the usual one. Every block of the track shows the same lines, and a
// sequence that uses none shows as it always has.
bool IsUsed(const KRVSequencer& inSequencer, const KRVTrack& inTrack, const PlayLine& inLine) {
    for (int step1 = 1; step1 <= inSequencer.GetStepCount(); step1++) {
        if (inLine.mValue(inTrack.GetEvent(step1)) != inLine.mUsual) {
            return true;
        }
    }
    return false;
}

// The swing (W:) line, only on a track that swings: the percent on each
// step it moves, the others blank.
bool IsSwung(const KRVSequencer& inSequencer, int inTrack1) {
    return inSequencer.GetSwingOf(inTrack1) != KRVSequencer::kStraightSwing;
}

void AppendSwingLine(std::string* ioText, const KRVSequencer& inSequencer, int inTrack1,
                     KRVGridText::Steps inSteps) {
    if (!IsSwung(inSequencer, inTrack1)) {
        return;
    }
    ioText->append("|  |W:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        if (inSequencer.GetSwingShift(inTrack1, step1) != 0) {
            AppendNumber(ioText, static_cast<unsigned>(inSequencer.GetSwingOf(inTrack1)), 3, false);
        } else {
            ioText->append("   ");
        }
        ioText->append("|");
    }
    ioText->append("\n");
}

// The legato (>:) line, only on a legato track: a > on each step whose
// note sounds on into the next note.
void AppendLegatoLine(std::string* ioText, const KRVSequencer& inSequencer, int inTrack1,
                      KRVGridText::Steps inSteps) {
    if (!inSequencer.GetTrack(inTrack1).IsLegato()) {
        return;
    }
    ioText->append("|  |>:|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        ioText->append(inSequencer.IsLegatoInto(inTrack1, step1) ? " > |" : "   |");
    }
    ioText->append("\n");
}

}  // namespace

int KRVGridText::GetTrackLines(const KRVSequencer& inSequencer, int inTrack1) {
    const KRVTrack& track = inSequencer.GetTrack(inTrack1);
    int lines = kTrackLines + (IsSwung(inSequencer, inTrack1) ? 1 : 0) + (track.IsLegato() ? 1 : 0);
    for (const PlayLine& line : kPlayLines) {
        lines += IsUsed(inSequencer, track, line) ? 1 : 0;
    }
    return lines;
}

void KRVGridText::AppendRuler(std::string* ioText, Steps inSteps) {
    ioText->append("|-----|");
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        ioText->append("---|");
    }
    ioText->append("\n");
}

void KRVGridText::AppendHeader(std::string* ioText, const KRVSequencer& inSequencer,
                               Steps inSteps) {
    int loopStep = inSequencer.GetLoopStep();
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

namespace {

void AppendChannelCell(std::string* ioText, const KRVSequencer& inSequencer,
                       const KRVEvent& inEvent) {
    std::string name = inSequencer.GetChannelName(inEvent.GetPort(), inEvent.GetChannel());
    if (!name.empty()) {
        ioText->append(FitCell(name, false));
    } else {
        AppendNumber(ioText, inEvent.GetPort(), 0, false, 16);
        AppendNumber(ioText, inEvent.GetChannel(), 2, false);
    }
    ioText->append("|");
}

}  // namespace

void KRVGridText::AppendTrack(std::string* ioText, const KRVSequencer& inSequencer, int inTrack1,
                              Steps inSteps) {
    const KRVTrack& track = inSequencer.GetTrack(inTrack1);
    ioText->append("|-----|");
    // A tie shows where the note goes on, at the step's right edge.
    for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
        const KRVEvent& event = track.GetEvent(step1);
        const char cell[] = {'-', event.IsSelected() ? '*' : '-', event.IsTied() ? '~' : '-', '|'};
        ioText->append(cell, sizeof cell);
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
    for (const PlayLine& line : kPlayLines) {
        if (!IsUsed(inSequencer, track, line)) {
            continue;
        }
        ioText->append(line.mLabel);
        for (int step1 = inSteps.mFirst; step1 <= inSteps.mLast; step1++) {
            AppendNumber(ioText, line.mValue(track.GetEvent(step1)), 3, false);
            ioText->append("|");
        }
        ioText->append("\n");
    }
    AppendSwingLine(ioText, inSequencer, inTrack1, inSteps);
    AppendLegatoLine(ioText, inSequencer, inTrack1, inSteps);
}

int KRVGridText::StepsPerBlock(int inColumns, int inSteps) {
    if (inColumns <= 0) {
        return inSteps;
    }
    return std::max((inColumns - kLabelColumns) / kStepColumns, 1);
}
