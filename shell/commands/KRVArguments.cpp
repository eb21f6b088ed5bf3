#include "commands/KRVArguments.h"

#include "commands/KRVWords.h"

const std::string& KRVArguments::Get(int inIndex) const {
    static const std::string sNone;
    return inIndex >= 0 && inIndex < static_cast<int>(mWords.size()) ? mWords[inIndex] : sNone;
}

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
