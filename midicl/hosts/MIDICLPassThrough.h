#pragma once

#include <functional>

// A destination that only passes MIDI on to whatever is connected behind it
// (ALSA's "Midi Through", the bridges that show it on JACK) makes no sound of
// its own. Were it port 0, a new user would hear nothing, so every host lists
// such destinations after those that may sound.
class MIDICLPassThrough {
public:
    // True when inName says "through", in any case; false for null.
    static bool IsPassThroughName(const char* inName);
    // For a host that lists inCount destinations with names inNameAt(i):
    // where in that list destination inIndex is once those whose names say
    // pass-through are moved to the end, the order of both kept. -1 when
    // inIndex is out of range.
    static int ToHostIndex(int inCount, int inIndex,
                           const std::function<const char*(int inHostIndex)>& inNameAt);
};
