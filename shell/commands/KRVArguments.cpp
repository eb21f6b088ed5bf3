#include "commands/KRVArguments.h"

#include "commands/KRVCommandTable.h"
#include "commands/KRVWords.h"
#include "model/KRVSequencer.h"

int KRVArguments::ReadInt(int inIndex) const {
    return KRVReadInt(Get(inIndex));
}

bool KRVArguments::ReadInRange(int inIndex, int inLowest, int inHighest, int* outValue) const {
    *outValue = ReadInt(inIndex);
    return *outValue >= inLowest && *outValue <= inHighest;
}

bool KRVArguments::ReadNumber(int inIndex, SignRule inRule, int* outNumber) const {
    *outNumber = ReadInt(inIndex);
    return inRule == kSignAllowed || KRVStartsWithDigit(Get(inIndex));
}

bool KRVArguments::ReadPosition(int inIndex, int inLast, SignRule inRule, int* outNumber,
                                bool inZeroBased) const {
    bool readable = ReadNumber(inIndex, inRule, outNumber);
    if (inZeroBased) {
        *outNumber = KRVBumpForMigration(*outNumber);
    }
    return readable && *outNumber >= 1 && *outNumber <= inLast;
}

// A missing word is told before any word is read, as every command always
// has; then each word in order, so that a later one is not read while an
// earlier one is refused.
const char* KRVArguments::Read(const KRVCommand& inCommand, const KRVSequencer& inSequencer) {
    if (!Has(inCommand.GetRequiredCount())) {
        return inCommand.mMissing;
    }
    for (int index = 1; index <= KRVCommand::kMaxArguments && Has(index); index++) {
        if (const char* refusal = ReadArgument(index, inCommand, inSequencer)) {
            return refusal;
        }
    }
    return nullptr;
}

const char* KRVArguments::ReadArgument(int inIndex, const KRVCommand& inCommand,
                                       const KRVSequencer& inSequencer) {
    const KRVArgument& argument = inCommand.mArguments[inIndex - 1];
    if (argument.mBad == nullptr) {
        return nullptr;
    }
    int* value = &mValues[inIndex];
    const SignRule sign = argument.mSignAllowed ? kSignAllowed : kDigitFirst;
    bool read = false;
    switch (argument.mKind) {
        case KRVArgumentKind::kTrack:
            read = ReadPosition(inIndex, inSequencer.GetTrackCount(), sign, value);
            break;
        case KRVArgumentKind::kStep:
            read = ReadPosition(inIndex,
                                argument.mBound == KRVArgument::kPastPlayed
                                    ? inSequencer.GetPlayedStepCount() + 1
                                    : inSequencer.GetStepCount(),
                                sign, value);
            break;
        case KRVArgumentKind::kNote:
            read = KRVReadNote(Get(inIndex), value) && *value >= 0 && *value <= 127;
            break;
        default:
            read = ReadInRange(inIndex, argument.mLowest, argument.mHighest, value);
            break;
    }
    return read ? nullptr : argument.mBad;
}
