// randomchannel, randomgate, randomnote, randomport, randomvelocity and
// randommute. The value commands take an optional base and range: the values
// drawn run from base to base + range, both included.
#include <string>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "actions/KRVSelectionActions.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "commands/KRVWords.h"
#include "model/KRVSequencer.h"

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
void ReadSpan(const KRVArguments& inArguments, bool inNoteNames, int* ioBase, int* ioRange) {
    if (inArguments.Has(1)) {
        if (!inNoteNames) {
            *ioBase = inArguments.ReadInt(1);
        } else if (!KRVReadNote(inArguments.Get(1), ioBase)) {
            *ioBase = -1;
        }
    }
    if (inArguments.Has(2)) {
        *ioRange = inArguments.ReadInt(2);
    }
}

// Reads and checks the span of a value command; false after a refusal.
bool ReadCheckedSpan(const KRVArguments& inArguments, KRVShellInterface* inOut,
                     const KRVRandomLimits& inLimits, int* outBase, int* outRange) {
    *outBase = inLimits.mLowest;
    *outRange = inLimits.mTop - inLimits.mLowest;
    ReadSpan(inArguments, inLimits.mNoteNames, outBase, outRange);
    return CheckSpan(inOut, inLimits, *outBase, outRange);
}

// The whole of a value command: read and check the span, draw a new value
// for every selected event, and report the count and the span.
template <class Action>
KRVCommandResult Randomise(KRVCommandContext& ioContext, const KRVArguments& inArguments,
                           const KRVRandomLimits& inLimits) {
    KRVShellInterface* out = &ioContext.GetInterface();
    int base = 0;
    int range = 0;
    if (!ReadCheckedSpan(inArguments, out, inLimits, &base, &range)) {
        return KRVCommandResult::kFailed;
    }
    Action action(base, range);
    out->WriteFormattedD(inLimits.mDone, ioContext.GetSequencer().RunSelection(&action));
    if (inLimits.mNoteNames) {
        std::string name = KRVEvent::FormatNoteNumber(static_cast<unsigned char>(base));
        out->WriteFormattedSD(inLimits.mSpan, name.c_str(), range);
    } else {
        out->WriteFormattedDD(inLimits.mSpan, base, range);
    }
    return KRVCommandResult::kSucceeded;
}

}  // namespace

KRVCommandResult KRVCommands::RandomiseChannel(KRVCommandContext& ioContext,
                                               const KRVArguments& inArguments) {
    return Randomise<KRVSelectionRandomiseChannel>(ioContext, inArguments, kChannelLimits);
}

KRVCommandResult KRVCommands::RandomiseGate(KRVCommandContext& ioContext,
                                            const KRVArguments& inArguments) {
    return Randomise<KRVSelectionRandomiseGate>(ioContext, inArguments, kGateLimits);
}

KRVCommandResult KRVCommands::RandomiseNote(KRVCommandContext& ioContext,
                                            const KRVArguments& inArguments) {
    return Randomise<KRVSelectionRandomiseNote>(ioContext, inArguments, kNoteLimits);
}

// Without ports there is nothing to draw from, and nothing is said.
KRVCommandResult KRVCommands::RandomisePort(KRVCommandContext& ioContext,
                                            const KRVArguments& inArguments) {
    const KRVSequencer& sequencer = ioContext.GetSequencer();
    if (sequencer.GetPortCount() == 0) {
        return KRVCommandResult::kFailed;
    }
    return Randomise<KRVSelectionRandomisePort>(ioContext, inArguments, PortLimits(&sequencer));
}

KRVCommandResult KRVCommands::RandomiseVelocity(KRVCommandContext& ioContext,
                                                const KRVArguments& inArguments) {
    return Randomise<KRVSelectionRandomiseVelocity>(ioContext, inArguments, kVelocityLimits);
}

KRVCommandResult KRVCommands::RandomiseMute(KRVCommandContext& ioContext, const KRVArguments&) {
    KRVSelectionRandomMute action;
    ioContext.GetInterface().WriteFormattedD("randomised mute on %d selections\n",
                                             ioContext.GetSequencer().RunSelection(&action));
    return KRVCommandResult::kSucceeded;
}
