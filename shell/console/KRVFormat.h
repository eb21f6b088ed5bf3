#pragma once

#include <cstddef>
#include <string>

// One argument of a printf-style format, with the type it was passed as.
struct KRVFormatArgument {
    enum Kind { kInt, kLong, kUnsignedLong, kDouble, kString };

    KRVFormatArgument(int inValue) : mKind(kInt), mInteger(inValue) {}
    KRVFormatArgument(long inValue) : mKind(kLong), mInteger(inValue) {}
    KRVFormatArgument(unsigned long inValue) : mKind(kUnsignedLong), mUnsigned(inValue) {}
    KRVFormatArgument(double inValue) : mKind(kDouble), mDouble(inValue) {}
    KRVFormatArgument(const char* inValue) : mKind(kString), mString(inValue) {}

    Kind mKind;
    union {
        long long mInteger;
        unsigned long mUnsigned;
        double mDouble;
        const char* mString;
    };
};

// Appends to ioText what snprintf gives for inFormat and the arguments, for
// the formats the shell's messages use most: text, %%, and %d, %x, %ld, %lu
// and %s, each with a width and (but %s) the 0 flag. Every line of a script
// and every cell of `display` is formatted, and the C library's printf
// costs several times this; libfmt's printf made a load of 1024 tracks of
// 64 steps take 115 ms of CPU instead of 88 (bench/scale.py), so this
// stays. False, with ioText as it was, for any other format, arguments that
// do not match it, or a text over 256 bytes: the caller formats those with
// snprintf.
bool KRVAppendFormat(std::string* ioText, const char* inFormat,
                     const KRVFormatArgument* inArguments, std::size_t inCount);
