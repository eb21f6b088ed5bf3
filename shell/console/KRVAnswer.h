#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

// The answers of the commands a saved sequence is made of, put together
// from a printf-style format that is read when krv is built, not each time:
// every line of a big script answers, and a load of 1,024 tracks of 64 steps
// runs a tenth fewer instructions so than with a formatter that reads the
// format as it goes (the shell's other messages go through snprintf). The
// format takes %d (an int), %lu (an unsigned long), %s (a C string) and %%,
// with no flags or widths:
//
//     out.WriteSized(KRVAnswer<"selected track %d step %d\n">(track1, step1).View());

// The text of an answer: in place while it is short, as answers are.
class KRVAnswerText {
public:
    void Put(const char* inText, std::size_t inLength) {
        if (mLong.empty() && inLength <= kRoom - mLength) {
            std::memcpy(mShort + mLength, inText, inLength);
            mLength += inLength;
            return;
        }
        if (mLong.empty()) {
            mLong.assign(mShort, mLength);
        }
        mLong.append(inText, inLength);
    }
    void Put(const char* inText) { Put(inText, std::strlen(inText)); }
    template <typename Number>
    void PutNumber(Number inNumber) {
        char digits[24];
        Put(digits, static_cast<std::size_t>(
                        std::to_chars(digits, digits + sizeof digits, inNumber).ptr - digits));
    }
    const char* c_str() {
        if (!mLong.empty()) {
            return mLong.c_str();
        }
        mShort[mLength] = '\0';
        return mShort;
    }
    // The text, a NUL just past it.
    std::string_view View() {
        const char* text = c_str();
        return {text, mLong.empty() ? mLength : mLong.size()};
    }

private:
    static constexpr std::size_t kRoom = 127;
    char mShort[kRoom + 1];
    std::size_t mLength = 0;
    // The whole text, once it outgrew mShort.
    std::string mLong;
};

// A format as a template argument: KRVAnswer<"...">.
template <std::size_t N>
struct KRVAnswerFormat {
    consteval KRVAnswerFormat(const char (&inText)[N]) { std::copy_n(inText, N, mText); }
    char mText[N]{};
};

// One piece of a format: text (where it lies in the format), then a
// conversion of argument mArgument, or none ('\0').
struct KRVAnswerPiece {
    std::size_t mStart = 0;
    std::size_t mLength = 0;
    char mConversion = '\0';
    std::size_t mArgument = 0;
};

// The pieces of kFormat, and how many arguments they take. A "%%" ends a
// piece with its first '%'; anything else after a '%' must be d, lu or s.
template <KRVAnswerFormat kFormat>
consteval auto KRVAnswerPieces() {
    constexpr std::size_t kEnd = sizeof kFormat.mText - 1;
    constexpr std::size_t kCount = std::count(kFormat.mText, kFormat.mText + kEnd, '%') + 1;
    std::array<KRVAnswerPiece, kCount> pieces{};
    std::size_t count = 0;
    std::size_t arguments = 0;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= kEnd; at++) {
        if (at < kEnd && kFormat.mText[at] != '%') {
            continue;
        }
        KRVAnswerPiece& piece = pieces[count++];
        piece = {start, at - start, '\0', arguments};
        if (at == kEnd) {
            break;
        }
        const char next = kFormat.mText[++at];
        if (next == '%') {
            piece.mLength++;
        } else if (next == 'l' && kFormat.mText[at + 1] == 'u') {
            piece.mConversion = 'u';
            at++;
            arguments++;
        } else if (next == 'd' || next == 's') {
            piece.mConversion = next;
            arguments++;
        } else {
            throw "a conversion other than %d, %lu, %s or %%";
        }
        start = at + 1;
    }
    return std::pair{pieces, count};
}

template <KRVAnswerFormat kFormat, KRVAnswerPiece kPiece, typename Arguments>
void KRVPutAnswerPiece(KRVAnswerText& ioText, const Arguments& inArguments) {
    ioText.Put(kFormat.mText + kPiece.mStart, kPiece.mLength);
    if constexpr (kPiece.mConversion != '\0') {
        const auto& argument = std::get<kPiece.mArgument>(inArguments);
        using Argument = std::remove_cvref_t<decltype(argument)>;
        if constexpr (kPiece.mConversion == 's') {
            static_assert(std::is_convertible_v<const Argument&, const char*>,
                          "%s takes a C string");
            ioText.Put(argument);
        } else {
            using Wanted = std::conditional_t<kPiece.mConversion == 'd', int, unsigned long>;
            static_assert(std::is_same_v<Argument, Wanted>,
                          "%d takes an int, %lu an unsigned long");
            ioText.PutNumber(argument);
        }
    }
}

template <KRVAnswerFormat kFormat, std::size_t... kIndex, typename Arguments>
void KRVPutAnswerPieces(KRVAnswerText& ioText, std::index_sequence<kIndex...>,
                        const Arguments& inArguments) {
    constexpr auto kPieces = KRVAnswerPieces<kFormat>().first;
    (KRVPutAnswerPiece<kFormat, kPieces[kIndex]>(ioText, inArguments), ...);
}

template <KRVAnswerFormat kFormat, typename... Arguments>
KRVAnswerText KRVAnswer(const Arguments&... inArguments) {
    constexpr auto kParsed = KRVAnswerPieces<kFormat>();
    static_assert(kParsed.first[kParsed.second - 1].mArgument == sizeof...(Arguments),
                  "as many arguments as the format converts");
    KRVAnswerText text;
    KRVPutAnswerPieces<kFormat>(text, std::make_index_sequence<kParsed.second>(),
                                std::forward_as_tuple(inArguments...));
    return text;
}
