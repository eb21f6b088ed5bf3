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

// What a value command may draw (mLowest to mTop), its three refusals and
// its two reports. The refusals carry the top as "%d" only where mShowTop
// says so. With mNoteNames the base may be a note name ("C4") and is
// reported as one.
struct KRVRandomLimits {
    int mLowest;
    int mTop;
    const char* mBadBase;
    const char* mBadRange;
    const char* mBadSum;
    bool mShowTop;
    bool mNoteNames;
    const char* mDone;
    const char* mSpan;
};

const KRVRandomLimits kChannelLimits = {1,
                                        16,
                                        "channel must be 1-16\n",
                                        "range must be 0-15\n",
                                        "base + range must be 1-16\n",
                                        false,
                                        false,
                                        "randomised channel on %d selections\n",
                                        "base channel %d range %d channels\n"};
const KRVRandomLimits kGateLimits = {0,
                                     90,
                                     "base must be 0-90\n",
                                     "range must be 0-90\n",
                                     "base + range must be 0-90\n",
                                     false,
                                     false,
                                     "randomised gate on %d selections\n",
                                     "base gate %d range %d%%\n"};
const KRVRandomLimits kNoteLimits = {0,
                                     127,
                                     "note must be 0-127\n",
                                     "range must be 0-127\n",
                                     "base + range must be 0-127\n",
                                     false,
                                     true,
                                     "randomised note on %d selections\n",
                                     "base note %s range %d note\n"};
const KRVRandomLimits kVelocityLimits = {0,
                                         127,
                                         "base must be 0-127\n",
                                         "range must be 0-127\n",
                                         "base + range must be 0-127\n",
                                         false,
                                         false,
                                         "randomised velocity on %d selections\n",
                                         "base velocity %d range %d\n"};

KRVRandomLimits PortLimits(const KRVSequencer* inSequencer) {
    return {0,
            inSequencer->GetPortCount() - 1,
            "base must be 0-%d\n",
            "range must be 0-%d\n",
            "base + range must be 0-%d\n",
            true,
            false,
            "randomised port on %d selections\n",
            "base port %d range %d ports\n"};
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
// inNoteNames a base that starts with no digit is a note name ("C4"), and a
// word that is no note at all gives -1, refused like any base out of range.
void ReadSpan(const std::vector<std::string>& inWords, bool inNoteNames, int* ioBase,
              int* ioRange) {
    if (inWords.size() >= 2) {
        const std::string& base = inWords[1];
        if (!inNoteNames) {
            *ioBase = KRVReadInt(base);
        } else if (!KRVReadNote(base, ioBase)) {
            *ioBase = -1;
        }
    }
    if (inWords.size() >= 3) {
        *ioRange = KRVReadInt(inWords[2]);
    }
}

// Reads and checks the span of a value command; false after a refusal.
bool ReadCheckedSpan(const std::vector<std::string>& inWords, KRVShellInterface* inOut,
                     const KRVRandomLimits& inLimits, int* outBase, int* outRange) {
    *outBase = inLimits.mLowest;
    *outRange = inLimits.mTop - inLimits.mLowest;
    ReadSpan(inWords, inLimits.mNoteNames, outBase, outRange);
    return CheckSpan(inOut, inLimits, *outBase, outRange);
}

// The whole of a value command: read and check the span, draw a new value
// for every selected event, and report the count and the span.
template <class Action>
void Randomise(const std::vector<std::string>& inWords, KRVShellInterface* inOut,
               KRVSequencer* inSequencer, const KRVRandomLimits& inLimits) {
    int base = 0;
    int range = 0;
    if (!ReadCheckedSpan(inWords, inOut, inLimits, &base, &range)) {
        return;
    }
    Action action(base, range);
    inOut->WriteFormattedD(inLimits.mDone, inSequencer->RunSelection(&action));
    if (inLimits.mNoteNames) {
        std::string name = KRVEvent::FormatNoteNumber(static_cast<unsigned char>(base));
        inOut->WriteFormattedSD(inLimits.mSpan, name.c_str(), range);
    } else {
        inOut->WriteFormattedDD(inLimits.mSpan, base, range);
    }
}

}  // namespace

int KRVShell::RandomiseChannel(KRVShell* inShell) {
    Randomise<KRVSelectionRandomiseChannel>(inShell->mParameters, inShell->mInterface,
                                            inShell->mSequencer, kChannelLimits);
    return 0;
}

int KRVShell::RandomiseGate(KRVShell* inShell) {
    Randomise<KRVSelectionRandomiseGate>(inShell->mParameters, inShell->mInterface,
                                         inShell->mSequencer, kGateLimits);
    return 0;
}

int KRVShell::RandomiseNote(KRVShell* inShell) {
    Randomise<KRVSelectionRandomiseNote>(inShell->mParameters, inShell->mInterface,
                                         inShell->mSequencer, kNoteLimits);
    return 0;
}

int KRVShell::RandomisePort(KRVShell* inShell) {
    // Without ports there is nothing to draw from, and nothing is said.
    if (inShell->mSequencer->GetPortCount() == 0) {
        return 0;
    }
    Randomise<KRVSelectionRandomisePort>(inShell->mParameters, inShell->mInterface,
                                         inShell->mSequencer, PortLimits(inShell->mSequencer));
    return 0;
}

int KRVShell::RandomiseVelocity(KRVShell* inShell) {
    Randomise<KRVSelectionRandomiseVelocity>(inShell->mParameters, inShell->mInterface,
                                             inShell->mSequencer, kVelocityLimits);
    return 0;
}

int KRVShell::RandomiseMute(KRVShell* inShell) {
    KRVSelectionRandomMute action;
    inShell->mInterface->WriteFormattedD("randomised mute on %d selections\n",
                                         inShell->mSequencer->RunSelection(&action));
    return 0;
}
