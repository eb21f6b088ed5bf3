#include "hosts/MIDICLHeldNoteOffs.h"

#include <algorithm>

void MIDICLHeldNoteOffs::EndSounding() {
    if (mSounding > 0) {
        --mSounding;
    }
}

bool MIDICLHeldNoteOffs::Hold(const std::uint8_t* inNoteOff) {
    if (mSounding + mCount >= kCapacity) {
        return false;
    }
    std::copy(inNoteOff, inNoteOff + kNoteBytes, mNotes[(mFirst + mCount) % kCapacity].begin());
    ++mCount;
    return true;
}

void MIDICLHeldNoteOffs::PopFront() {
    if (mCount == 0) {
        return;
    }
    mFirst = (mFirst + 1) % kCapacity;
    --mCount;
}
