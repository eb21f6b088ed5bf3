#include <gtest/gtest.h>

#include <cstdint>

#include "hosts/MIDICLWithdrawal.h"

namespace {

const std::uint8_t kOnC4[] = {0x90, 60, 100};
const std::uint8_t kOffC4[] = {0x80, 60, 0};
const std::uint8_t kZeroOnC4[] = {0x90, 60, 0};
const std::uint8_t kOnC4Channel2[] = {0x91, 60, 100};
const std::uint8_t kOffC4Channel2[] = {0x81, 60, 0};
const std::uint8_t kProgram[] = {0xC0, 5};

// Before a stop everything goes as stamped. After it, a pending note-on is
// withdrawn together with exactly one later note-off of its key (either
// spelling), and everything else goes at the stop.
TEST(MIDICLWithdrawalTest, StopWithdrawsPendingNoteOnsWithTheirNoteOffsOnly) {
    MIDICLWithdrawal withdrawal;
    MIDICLTimeStamp stamp = 500;
    EXPECT_TRUE(withdrawal.Pass(kOnC4, 3, 0, stamp));
    EXPECT_EQ(stamp, 500u);

    const MIDICLTimeStamp stop = 1000;
    stamp = 1200;
    EXPECT_FALSE(withdrawal.Pass(kOnC4, 3, stop, stamp));
    stamp = 1100;
    EXPECT_FALSE(withdrawal.Pass(kOnC4, 3, stop, stamp));
    stamp = 1300;
    EXPECT_FALSE(withdrawal.Pass(kOffC4, 3, stop, stamp));
    stamp = 1300;
    EXPECT_FALSE(withdrawal.Pass(kZeroOnC4, 3, stop, stamp));
    // Both withdrawn note-ons have had their note-off: the next one ends a
    // note that sounds, at the stop.
    stamp = 1400;
    EXPECT_TRUE(withdrawal.Pass(kOffC4, 3, stop, stamp));
    EXPECT_EQ(stamp, stop);
    // A note-on on another channel is another key: a note-off of channel 1
    // is not taken for its note-off.
    stamp = 1500;
    EXPECT_FALSE(withdrawal.Pass(kOnC4Channel2, 3, stop, stamp));
    stamp = 1500;
    EXPECT_TRUE(withdrawal.Pass(kOffC4, 3, stop, stamp));
    stamp = 1600;
    EXPECT_TRUE(withdrawal.Pass(kProgram, 2, stop, stamp));
    EXPECT_EQ(stamp, stop);
    // Playing on after the cut: the withdrawn note-on's note-off, sent
    // later, goes with it, and a later stop's note-off of a note that
    // sounds is not taken for it.
    stamp = 1700;
    EXPECT_FALSE(withdrawal.Pass(kOffC4Channel2, 3, 0, stamp));
    EXPECT_TRUE(withdrawal.Pass(kOnC4Channel2, 3, 0, stamp));
    EXPECT_TRUE(withdrawal.Pass(kOffC4Channel2, 3, 2000, stamp));
    EXPECT_EQ(stamp, 2000u);
}

}  // namespace
