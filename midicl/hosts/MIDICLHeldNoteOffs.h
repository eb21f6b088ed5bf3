#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The note-offs a full receiver refused, kept in order until it takes them,
// and the room for them. Every note-on let through reserves a place for its
// note-off, so however long a receiver stays full, no note-off is lost for
// want of room; note-ons are refused first. Fixed size: nothing allocates and
// nothing locks, for the one thread that sends on a port.
class MIDICLHeldNoteOffs {
public:
    // More than the notes a player keeps sounding on one port.
    static constexpr std::size_t kCapacity = 4096;
    static constexpr std::size_t kNoteBytes = 3;

    // Whether a note-on may go: its note-off would find room besides those
    // of the notes sounding and those held.
    bool HasRoomForNoteOn() const { return mSounding + mCount < kCapacity; }
    // A note-on went out: its note-off's place is taken until it comes.
    void StartSounding() { ++mSounding; }
    // A note-off came: the place of its note (if any) is given back.
    void EndSounding();

    // Keeps a note-off at the back; false when there is no room (a note-off
    // of no note we know of, with every place taken).
    bool Hold(const std::uint8_t* inNoteOff);
    bool IsEmpty() const { return mCount == 0; }
    std::size_t GetCount() const { return mCount; }
    // The oldest held note-off; only when not empty.
    const std::uint8_t* Front() const { return mNotes[mFirst].data(); }
    void PopFront();

private:
    std::array<std::array<std::uint8_t, kNoteBytes>, kCapacity> mNotes{};
    std::size_t mFirst = 0;
    std::size_t mCount = 0;
    // Note-ons that went out and whose note-offs have not come yet.
    std::size_t mSounding = 0;
};
