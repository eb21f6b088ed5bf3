#include "KRVEvent.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

const char* const KRVEvent::sNoteNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                              "F#", "G",  "G#", "A",  "A#", "B"};

KRVEvent::KRVEvent(const KRVEvent& inEvent) {
    CopyContent(inEvent);
}

KRVEvent& KRVEvent::operator=(const KRVEvent& inEvent) {
    if (this != &inEvent) {
        CopyContent(inEvent);
    }
    return *this;
}

void KRVEvent::CopyContent(const KRVEvent& inEvent) {
    mChannel = inEvent.mChannel.Load();
    mGateTime = inEvent.mGateTime.Load();
    mNote = inEvent.mNote.Load();
    mPort = inEvent.mPort.Load();
    mVelocity = inEvent.mVelocity.Load();
}

std::string KRVEvent::FormatNoteNumber(unsigned char inNote) {
    return std::string(sNoteNames[inNote % 12]) + std::to_string(inNote / 12 - 1);
}

int KRVEvent::ParseNoteNumber(std::string inNoteName) {
    int result = 0;
    size_t bestLength = 0;
    for (int pitchClass = 0; pitchClass < 12; pitchClass++) {
        const char* name = sNoteNames[pitchClass];
        size_t length = std::strlen(name);
        // The longest matching name wins, so "C#3" is C sharp, not C then "#3".
        if (length > bestLength && inNoteName.size() >= length &&
            strncasecmp(inNoteName.c_str(), name, length) == 0) {
            bestLength = length;
            long octave = std::strtol(inNoteName.c_str() + length, nullptr, 10);
            // Keep absurd octaves from overflowing; callers range-check anyway.
            if (octave > 1000)
                octave = 1000;
            if (octave < -1000)
                octave = -1000;
            result = static_cast<int>(octave) * 12 + pitchClass + 12;
        }
    }
    return result;
}
