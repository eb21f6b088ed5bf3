#include "model/KRVEvent.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

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
    mChance = inEvent.mChance.Load();
    mRatchet = inEvent.mRatchet.Load();
    mLength = inEvent.mLength.Load();
    mTied = inEvent.mTied.Load();
}

std::string KRVEvent::FormatNoteNumber(unsigned char inNote) {
    return std::string(sNoteNames[inNote % 12]) + std::to_string(inNote / 12 - 1);
}

bool KRVEvent::ReadPitch(std::string_view inText, int* outPitch, size_t* outLength) {
    // Semitones of the letters A to G above their octave's C.
    static const int kLetterPitch[7] = {9, 11, 0, 2, 4, 5, 7};
    if (inText.empty()) {
        return false;
    }
    int letter = std::tolower(static_cast<unsigned char>(inText[0])) - 'a';
    if (letter < 0 || letter >= 7) {
        return false;
    }
    *outPitch = kLetterPitch[letter];
    *outLength = 1;
    if (inText.size() > 1 && (inText[1] == '#' || inText[1] == 'b')) {
        *outPitch += inText[1] == '#' ? 1 : -1;
        *outLength = 2;
    }
    return true;
}

bool KRVEvent::IsNoteName(std::string_view inText) {
    int pitch = 0;
    size_t length = 0;
    return ReadPitch(inText, &pitch, &length);
}

int KRVEvent::ParseNoteNumber(std::string inNoteName) {
    int pitch = 0;
    size_t length = 0;
    if (!ReadPitch(inNoteName, &pitch, &length)) {
        return 0;
    }
    long octave = std::strtol(inNoteName.c_str() + length, nullptr, 10);
    // Keep absurd octaves from overflowing; callers range-check anyway.
    octave = std::clamp(octave, -1000L, 1000L);
    return static_cast<int>(octave) * 12 + pitch + 12;
}
