#include "console/KRVFormat.h"

#include <cstring>

namespace {

// Widths past this go to snprintf, which sets no such limit.
constexpr int kMaxWidth = 64;

// The text of one format as it is put together, appended to the caller's
// in one piece at the end. Full means the text grew too long for it: the
// caller then formats with snprintf.
class KRVFormatText {
public:
    bool IsFull() const { return mFull; }
    std::size_t GetLength() const { return mLength; }
    const char* GetText() const { return mText; }

    void Put(const char* inText, std::size_t inLength) {
        if (inLength > sizeof mText - mLength) {
            mFull = true;
            return;
        }
        std::memcpy(mText + mLength, inText, inLength);
        mLength += inLength;
    }
    void PutRepeated(char inCharacter, std::size_t inCount) {
        if (inCount > sizeof mText - mLength) {
            mFull = true;
            return;
        }
        for (std::size_t i = 0; i < inCount; i++) {
            mText[mLength++] = inCharacter;
        }
    }
    // What goes before a number or string of inLength characters padded to
    // inWidth: zeros go between the sign and the digits, blanks before both,
    // as printf pads them.
    void PutPadding(bool inNegative, std::size_t inLength, int inWidth, bool inZeros) {
        const std::size_t length = inLength + (inNegative ? 1 : 0);
        const std::size_t width = static_cast<std::size_t>(inWidth);
        const std::size_t padding = width > length ? width - length : 0;
        if (!inZeros) {
            PutRepeated(' ', padding);
        }
        if (inNegative) {
            Put("-", 1);
        }
        if (inZeros) {
            PutRepeated('0', padding);
        }
    }
    // The digits of inValue in base inBase (10 or 16, lower case), padded,
    // written where they go rather than elsewhere and copied: with the one
    // search a piece below, 2.5 % of the instructions of a load of 1,024
    // tracks of 64 steps, whose messages are mostly numbers.
    void PutNumber(bool inNegative, unsigned long long inValue, unsigned inBase, int inWidth,
                   bool inZeros) {
        std::size_t digits = 1;
        for (unsigned long long rest = inValue / inBase; rest != 0; rest /= inBase) {
            digits++;
        }
        PutPadding(inNegative, digits, inWidth, inZeros);
        if (digits > sizeof mText - mLength) {
            mFull = true;
            return;
        }
        mLength += digits;
        char* digit = mText + mLength;
        do {
            *--digit = "0123456789abcdef"[inValue % inBase];
            inValue /= inBase;
        } while (inValue != 0);
    }

private:
    char mText[256];
    std::size_t mLength = 0;
    bool mFull = false;
};

// Puts one conversion; false for one that is left to snprintf.
bool PutConversion(KRVFormatText* ioText, char inConversion, bool inLong, bool inZeros, int inWidth,
                   const KRVFormatArgument& inArgument) {
    const KRVFormatArgument::Kind integer =
        inLong ? KRVFormatArgument::kLong : KRVFormatArgument::kInt;
    if (inConversion == 'd' && inArgument.mKind == integer) {
        const long long value = inArgument.mInteger;
        const bool negative = value < 0;
        ioText->PutNumber(negative,
                          negative ? 0 - static_cast<unsigned long long>(value)
                                   : static_cast<unsigned long long>(value),
                          10, inWidth, inZeros);
    } else if (inConversion == 'x' && !inLong && inArgument.mKind == KRVFormatArgument::kInt) {
        ioText->PutNumber(false, static_cast<unsigned>(inArgument.mInteger), 16, inWidth, inZeros);
    } else if (inConversion == 'u' && inLong &&
               inArgument.mKind == KRVFormatArgument::kUnsignedLong) {
        ioText->PutNumber(false, inArgument.mUnsigned, 10, inWidth, inZeros);
    } else if (inConversion == 's' && !inLong && !inZeros &&
               inArgument.mKind == KRVFormatArgument::kString && inArgument.mString != nullptr) {
        const std::size_t length = std::strlen(inArgument.mString);
        ioText->PutPadding(false, length, inWidth, false);
        ioText->Put(inArgument.mString, length);
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool KRVAppendFormat(std::string* ioText, const char* inFormat,
                     const KRVFormatArgument* inArguments, std::size_t inCount) {
    KRVFormatText text;
    std::size_t used = 0;
    const char* at = inFormat;
    while (*at != '\0' && !text.IsFull()) {
        // One call finds the next conversion or the end, whichever comes
        // first (strchr and then strlen for the last piece took two).
        const char* percent = strchrnul(at, '%');
        text.Put(at, static_cast<std::size_t>(percent - at));
        if (*percent == '\0') {
            break;
        }
        at = percent + 1;
        if (*at == '%') {
            text.Put("%", 1);
            at++;
            continue;
        }
        const bool zeros = *at == '0';
        if (zeros) {
            at++;
        }
        int width = 0;
        while (*at >= '0' && *at <= '9' && width <= kMaxWidth) {
            width = width * 10 + (*at++ - '0');
        }
        const bool isLong = *at == 'l';
        if (isLong) {
            at++;
        }
        const char conversion = *at;
        if (conversion == '\0' || width > kMaxWidth || used == inCount ||
            !PutConversion(&text, conversion, isLong, zeros, width, inArguments[used++])) {
            return false;
        }
        at++;
    }
    // Arguments the format leaves unused are left to snprintf too.
    if (text.IsFull() || used != inCount) {
        return false;
    }
    ioText->append(text.GetText(), text.GetLength());
    return true;
}
