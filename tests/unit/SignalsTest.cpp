#include <gtest/gtest.h>
#include <signal.h>

#include "KRVSignals.h"

namespace {

// The handlers note what arrived and nothing more: SIGINT is taken once, the
// first terminating signal stays, and neither ends the process.
TEST(SignalsTest, NotesWhatArrivedForTheCommandThread) {
    KRVSignals::Install();
    KRVSignals::Clear();
    EXPECT_FALSE(KRVSignals::IsPending());
    raise(SIGINT);
    EXPECT_TRUE(KRVSignals::IsPending());
    EXPECT_TRUE(KRVSignals::TakeInterrupt());
    EXPECT_FALSE(KRVSignals::TakeInterrupt());
    EXPECT_EQ(KRVSignals::GetTerminatingSignal(), 0);
    raise(SIGHUP);
    raise(SIGTERM);
    EXPECT_EQ(KRVSignals::GetTerminatingSignal(), SIGHUP);
    EXPECT_TRUE(KRVSignals::IsPending());
    KRVSignals::Clear();
    EXPECT_FALSE(KRVSignals::IsPending());
}

}  // namespace
