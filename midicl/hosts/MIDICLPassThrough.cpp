#include "hosts/MIDICLPassThrough.h"

#include <cctype>
#include <cstring>
#include <initializer_list>

bool MIDICLPassThrough::IsPassThroughName(const char* inName) {
    static const char kWord[] = "through";
    if (inName == nullptr) {
        return false;
    }
    const std::size_t wordLength = sizeof kWord - 1;
    for (const char* start = inName; std::strlen(start) >= wordLength; ++start) {
        std::size_t i = 0;
        while (i < wordLength && std::tolower(static_cast<unsigned char>(start[i])) == kWord[i]) {
            ++i;
        }
        if (i == wordLength) {
            return true;
        }
    }
    return false;
}

// Two passes over the host's list, so nothing is allocated: first the
// destinations that may sound, then the others.
int MIDICLPassThrough::ToHostIndex(int inCount, int inIndex,
                                   const std::function<const char*(int inHostIndex)>& inNameAt) {
    if (inIndex < 0) {
        return -1;
    }
    int seen = 0;
    for (const bool passThrough : {false, true}) {
        for (int i = 0; i < inCount; ++i) {
            if (IsPassThroughName(inNameAt(i)) == passThrough && seen++ == inIndex) {
                return i;
            }
        }
    }
    return -1;
}
