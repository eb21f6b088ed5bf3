#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hosts/MIDICLRepeatedNoteOffs.h"

namespace {

// Four cycles make up the settling time after a stall.
constexpr double kPeriodUsecs = MIDICLRepeatedNoteOffs::kSettleUsecs / 4;

struct Cycle {
    bool mRegular;
    // What is written again at the cycle's start, as keys ("60 64"), and
    // what the cycle then writes.
    std::string mRepeated;
    std::vector<std::vector<std::uint8_t>> mWritten;
};

std::string Repeated(MIDICLRepeatedNoteOffs& ioRepeats, bool inRegular) {
    std::string keys;
    if (!ioRepeats.BeginCycle(inRegular, kPeriodUsecs)) {
        return keys;
    }
    std::uint8_t noteOff[3];
    for (std::size_t key = 0; ioRepeats.Get(key, noteOff); ++key) {
        EXPECT_EQ(noteOff[0] & 0xF0, 0x80);
        keys += (keys.empty() ? "" : " ") + std::to_string(noteOff[1]);
    }
    return keys;
}

// A note-off is written again until its cycle and the next both follow on;
// a later note-on of its key ends its repeats.
TEST(MIDICLRepeatedNoteOffsTest, RepeatsNoteOffsAroundIrregularCycles) {
    const std::vector<std::vector<Cycle>> runs = {
        // Steady cycles: nothing is repeated.
        {{true, "", {{0x80, 60, 0}}}, {true, "", {}}, {true, "", {}}},
        // A stall before the cycle that wrote it, then steady.
        {{false, "", {{0x80, 60, 0}, {0x90, 64, 0}}}, {true, "60 64", {}}, {true, "", {}}},
        // The cycle after it skipped, a stall: repeated until the server
        // has settled too, not just for two steady cycles.
        {{true, "", {{0x80, 60, 0}}},
         {false, "60", {}},
         {true, "60", {}},
         {true, "60", {}},
         {true, "60", {}},
         {true, "", {}}},
        // A note-on of the same key after it: no repeat ends the new note.
        {{false, "", {{0x80, 60, 0}, {0x80, 62, 0}, {0x90, 60, 100}}}, {true, "62", {}}},
    };
    for (const auto& run : runs) {
        MIDICLRepeatedNoteOffs repeats;
        for (const Cycle& cycle : run) {
            EXPECT_EQ(Repeated(repeats, cycle.mRegular), cycle.mRepeated);
            for (const auto& message : cycle.mWritten) {
                repeats.Written(message.data(), message.size());
            }
        }
    }
    // A server that never steadies is given up on.
    MIDICLRepeatedNoteOffs repeats;
    const std::uint8_t noteOff[] = {0x80, 60, 0};
    repeats.Written(noteOff, 3);
    for (int i = 0; i < MIDICLRepeatedNoteOffs::kMaxRepeats; ++i) {
        EXPECT_EQ(Repeated(repeats, false), "60");
    }
    EXPECT_EQ(Repeated(repeats, false), "");
}

}  // namespace
