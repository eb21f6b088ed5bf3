#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hosts/MIDICLHeldNoteOffs.h"

namespace {

using Held = MIDICLHeldNoteOffs;

std::vector<std::uint8_t> Take(Held& ioHeld) {
    std::vector<std::uint8_t> keys;
    while (!ioHeld.IsEmpty()) {
        keys.push_back(ioHeld.Front()[1]);
        ioHeld.PopFront();
    }
    return keys;
}

// However many notes sound, each one's note-off finds room; a note-on that
// would take the last place is refused instead.
TEST(MIDICLHeldNoteOffsTest, EverySoundingNoteKeepsRoomForItsNoteOff) {
    Held held;
    for (std::size_t i = 0; i < Held::kCapacity; ++i) {
        ASSERT_TRUE(held.HasRoomForNoteOn());
        held.StartSounding();
    }
    EXPECT_FALSE(held.HasRoomForNoteOn());
    const std::uint8_t noteOff[] = {0x80, 60, 0};
    for (std::size_t i = 0; i < Held::kCapacity; ++i) {
        held.EndSounding();
        ASSERT_TRUE(held.Hold(noteOff));
    }
    EXPECT_EQ(held.GetCount(), Held::kCapacity);
    // A note-off of no note we sent has no place kept for it.
    EXPECT_FALSE(held.Hold(noteOff));
    EXPECT_FALSE(held.HasRoomForNoteOn());
    held.PopFront();
    EXPECT_TRUE(held.HasRoomForNoteOn());
}

TEST(MIDICLHeldNoteOffsTest, NoteOffsComeBackInTheOrderHeldAcrossTheWrap) {
    Held held;
    std::vector<std::uint8_t> expected;
    for (std::size_t i = 0; i < Held::kCapacity - 2; ++i) {
        const std::uint8_t noteOff[] = {0x80, 1, 0};
        ASSERT_TRUE(held.Hold(noteOff));
    }
    Take(held);
    for (std::uint8_t key = 0; key < 5; ++key) {
        const std::uint8_t noteOff[] = {0x8F, key, 0};
        ASSERT_TRUE(held.Hold(noteOff));
        expected.push_back(key);
    }
    EXPECT_EQ(Take(held), expected);
    held.PopFront();
    EXPECT_TRUE(held.IsEmpty());
}

}  // namespace
