// randomchannel, randomgate, randomnote, randomport, randomvelocity and
// randommute. The value commands take an optional base and range: the values
// drawn run from base to base + range, both included.
#include <string>
#include <vector>

#include "KRVSelectionRandomMute.h"
#include "KRVSelectionRandomiseChannel.h"
#include "KRVSelectionRandomiseGate.h"
#include "KRVSelectionRandomiseNote.h"
#include "KRVSelectionRandomisePort.h"
#include "KRVSelectionRandomiseVelocity.h"
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVWords.h"

namespace {

// The values a command may draw (mLowest to mTop) and its three refusals.
// The refusals carry the top as "%d" only where mShowTop says so.
struct KRVRandomLimits {
    int mLowest;
    int mTop;
    const char* mBadBase;
    const char* mBadRange;
    const char* mBadSum;
    bool mShowTop;
};

const KRVRandomLimits kChannelLimits = {
    1, 16, "channel must be 1-16\n", "range must be 0-15\n", "base + range must be 1-16\n", false};
const KRVRandomLimits kGateLimits = {
    0, 90, "base must be 0-90\n", "range must be 0-90\n", "base + range must be 0-90\n", false};
const KRVRandomLimits kNoteLimits = {
    0, 127, "note must be 0-127\n", "range must be 0-127\n", "base + range must be 0-127\n", false};
const KRVRandomLimits kVelocityLimits = {
    0, 127, "base must be 0-127\n", "range must be 0-127\n", "base + range must be 0-127\n", false};

KRVRandomLimits PortLimits(const KRVSequencer* inSequencer) {
    return {0,
            inSequencer->GetPortCount() - 1,
            "base must be 0-%d\n",
            "range must be 0-%d\n",
            "base + range must be 0-%d\n",
            true};
}

void Refuse(KRVShellInterface* inOut, const KRVRandomLimits& inLimits, const char* inMessage) {
    if (inLimits.mShowTop) {
        inOut->WriteFormattedD(inMessage, inLimits.mTop);
    } else {
        inOut->Write(inMessage);
    }
}

// Checks a base and range already read (defaults: the lowest value and the
// whole span). A range of 0 means "up to the top". False after a refusal.
bool CheckSpan(KRVShellInterface* inOut, const KRVRandomLimits& inLimits, int inBase,
               int* ioRange) {
    if (inBase < inLimits.mLowest || inBase > inLimits.mTop) {
        Refuse(inOut, inLimits, inLimits.mBadBase);
        return false;
    }
    if (*ioRange < 0 || *ioRange > inLimits.mTop - inLimits.mLowest) {
        Refuse(inOut, inLimits, inLimits.mBadRange);
        return false;
    }
    if (*ioRange == 0) {
        *ioRange = inLimits.mTop - inBase;
    }
    if (inBase + *ioRange > inLimits.mTop) {
        Refuse(inOut, inLimits, inLimits.mBadSum);
        return false;
    }
    return true;
}

// Reads base and range from words 1 and 2 where given, over the defaults in
// ioBase and ioRange; a base without a range keeps the default range. With
// inNoteNames a base that starts with no digit is a note name ("C4").
void ReadSpan(const std::vector<std::string>& inWords, bool inNoteNames, int* ioBase,
              int* ioRange) {
    if (inWords.size() >= 2) {
        const std::string& base = inWords[1];
        bool byName = inNoteNames && !KRVStartsWithDigit(base);
        *ioBase = byName ? KRVEvent::ParseNoteNumber(base) : KRVReadInt(base);
    }
    if (inWords.size() >= 3) {
        *ioRange = KRVReadInt(inWords[2]);
    }
}

// Reads and checks the span of a value command; false after a refusal.
bool ReadCheckedSpan(const std::vector<std::string>& inWords, KRVShellInterface* inOut,
                     const KRVRandomLimits& inLimits, bool inNoteNames, int* outBase,
                     int* outRange) {
    *outBase = inLimits.mLowest;
    *outRange = inLimits.mTop - inLimits.mLowest;
    ReadSpan(inWords, inNoteNames, outBase, outRange);
    return CheckSpan(inOut, inLimits, *outBase, outRange);
}

}  // namespace

int KRVShell::RandomiseChannel(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    int base = 0;
    int range = 0;
    if (!ReadCheckedSpan(inShell->mParameters, out, kChannelLimits, false, &base, &range)) {
        return 0;
    }
    KRVSelectionRandomiseChannel action(base, range);
    out->WriteFormattedD("randomised channel on %d selections\n",
                         inShell->mSequencer->RunSelection(&action));
    out->WriteFormattedDD("base channel %d range %d channels\n", base, range);
    return 0;
}

int KRVShell::RandomiseGate(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    int base = 0;
    int range = 0;
    if (!ReadCheckedSpan(inShell->mParameters, out, kGateLimits, false, &base, &range)) {
        return 0;
    }
    KRVSelectionRandomiseGate action(base, range);
    out->WriteFormattedD("randomised gate on %d selections\n",
                         inShell->mSequencer->RunSelection(&action));
    out->WriteFormattedDD("base gate %d range %d%%\n", base, range);
    return 0;
}

int KRVShell::RandomiseNote(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    int base = 0;
    int range = 0;
    if (!ReadCheckedSpan(inShell->mParameters, out, kNoteLimits, true, &base, &range)) {
        return 0;
    }
    KRVSelectionRandomiseNote action(base, range);
    out->WriteFormattedD("randomised note on %d selections\n",
                         inShell->mSequencer->RunSelection(&action));
    std::string name = KRVEvent::FormatNoteNumber(static_cast<unsigned char>(base));
    out->WriteFormattedSD("base note %s range %d note\n", name.c_str(), range);
    return 0;
}

int KRVShell::RandomisePort(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    // Without ports there is nothing to draw from, and nothing is said.
    if (inShell->mSequencer->GetPortCount() == 0) {
        return 0;
    }
    int base = 0;
    int range = 0;
    KRVRandomLimits limits = PortLimits(inShell->mSequencer);
    if (!ReadCheckedSpan(inShell->mParameters, out, limits, false, &base, &range)) {
        return 0;
    }
    KRVSelectionRandomisePort action(base, range);
    out->WriteFormattedD("randomised port on %d selections\n",
                         inShell->mSequencer->RunSelection(&action));
    out->WriteFormattedDD("base port %d range %d ports\n", base, range);
    return 0;
}

int KRVShell::RandomiseVelocity(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    int base = 0;
    int range = 0;
    if (!ReadCheckedSpan(inShell->mParameters, out, kVelocityLimits, false, &base, &range)) {
        return 0;
    }
    KRVSelectionRandomiseVelocity action(base, range);
    out->WriteFormattedD("randomised velocity on %d selections\n",
                         inShell->mSequencer->RunSelection(&action));
    out->WriteFormattedDD("base velocity %d range %d\n", base, range);
    return 0;
}

int KRVShell::RandomiseMute(KRVShell* inShell) {
    KRVSelectionRandomMute action;
    inShell->mInterface->WriteFormattedD("randomised mute on %d selections\n",
                                         inShell->mSequencer->RunSelection(&action));
    return 0;
}
