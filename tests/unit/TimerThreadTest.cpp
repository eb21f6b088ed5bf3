#include "Harness.h"
#include "MIDICLClock.h"
#include "MIDICLMonotonicClock.h"
#include "playback/KRVTimerThread.h"

namespace {

// A server's clock in nanoseconds, as the JACK host keeps one: it moves a
// cycle at a time while the server runs and stands still while it stalls;
// nothing may be handed over before the first cycle or more than two
// cycles past the last. It starts just below 2^32 so that the grid crosses
// what would be a 32-bit wrap.
class FakeServerClock : public MIDICLClock {
public:
    static constexpr std::uint64_t kCycleNS = 2000000;

    std::uint64_t Now() override {
        std::lock_guard<std::mutex> lock(mMutex);
        const std::uint64_t since = MIDICLMonotonicClock::NowNS() - mCycleAt;
        return mCycle + std::min(since, kCycleNS);
    }
    double GetUnitsPerSecond() override { return 1e9; }
    std::uint64_t ToMonotonicNS(std::uint64_t inTime) override {
        std::lock_guard<std::mutex> lock(mMutex);
        return mCycleAt + (inTime - kCycleNS - mCycle);
    }
    std::uint64_t GetHandOverLimit() override {
        std::lock_guard<std::mutex> lock(mMutex);
        return mCycles == 0 ? 0 : mCycle + 2 * kCycleNS;
    }

    // One cycle of the server.
    void Cycle() {
        std::lock_guard<std::mutex> lock(mMutex);
        mCycle = mCycles++ == 0 ? kStart : mCycle + kCycleNS;
        mCycleAt = MIDICLMonotonicClock::NowNS();
    }

private:
    static constexpr std::uint64_t kStart = (std::uint64_t(1) << 32) - 50000000;
    std::mutex mMutex;
    std::uint64_t mCycle = 0;
    std::uint64_t mCycleAt = 0;
    std::uint64_t mCycles = 0;
};

class TimerThreadTest : public ::testing::Test {
protected:
    void Start(std::uint64_t inPeriodNS) {
        mPeriodNS = inPeriodNS;
        ASSERT_EQ(mTimer.Start(
                      [this](std::uint64_t inDue) {
                          std::lock_guard<std::mutex> lock(mMutex);
                          mDue.push_back(inDue);
                          mLimit.push_back(mClock.GetHandOverLimit());
                      },
                      [this] { return mPeriodNS.load(); }, mClock),
                  0);
    }

    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mMutex);
        return mDue.size();
    }
    // Waits, a few seconds at most, for inCount ticks.
    bool WaitForTicks(std::size_t inCount) {
        return Await([&] { return Count() >= inCount; }, std::chrono::seconds(5));
    }

    FakeServerClock mClock;
    std::mutex mMutex;
    std::vector<std::uint64_t> mDue;
    std::vector<std::uint64_t> mLimit;
    std::atomic<std::uint64_t> mPeriodNS{0};
    KRVTimerThread mTimer;
};

// Runs the server's cycles on a thread of its own until stopped or paused.
class FakeServer {
public:
    explicit FakeServer(FakeServerClock& ioClock) : mClock(ioClock) {}
    void Start() {
        mThread = std::jthread([this](std::stop_token inStop) {
            while (!inStop.stop_requested()) {
                if (!mPaused) {
                    mClock.Cycle();
                }
                std::this_thread::sleep_for(std::chrono::nanoseconds(FakeServerClock::kCycleNS));
            }
        });
    }
    void Pause(bool inPaused) { mPaused = inPaused; }
    void Stop() { mThread = {}; }

private:
    FakeServerClock& mClock;
    std::atomic<bool> mPaused{false};
    std::jthread mThread;
};

// Nothing before the server's first cycle, the grid from there on, never
// past the limit, and after a stall the grid goes on where it was: no tick
// lost, none early, no burst.
TEST_F(TimerThreadTest, TicksWaitForTheServerAndKeepTheirGridAcrossAStall) {
    FakeServer server(mClock);
    Start(5000000);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Count(), 0u) << "ticks before the server's first cycle";
    server.Start();
    ASSERT_TRUE(WaitForTicks(8));
    server.Pause(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::uint64_t stalledLimit = mClock.GetHandOverLimit();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::size_t duringStall = Count();
    server.Pause(false);
    ASSERT_TRUE(WaitForTicks(duringStall + 8));
    mTimer.Stop();
    server.Stop();

    std::lock_guard<std::mutex> lock(mMutex);
    for (std::size_t i = 0; i < mDue.size(); ++i) {
        EXPECT_LE(mDue[i], mLimit[i]) << "tick " << i << " past the limit";
        if (i < duringStall) {
            EXPECT_LE(mDue[i], stalledLimit) << "tick " << i << " ran on in the stall";
        }
        if (i > 0) {
            EXPECT_EQ(mDue[i] - mDue[i - 1], 5000000u) << "tick " << i;
        }
    }
    EXPECT_GT(mDue.back(), std::uint64_t(1) << 32);
}

// A slow tick already waited for does not hold up a new tempo.
TEST_F(TimerThreadTest, TempoChangeWakesTheClock) {
    FakeServer server(mClock);
    server.Start();
    Start(1000000000);
    ASSERT_TRUE(WaitForTicks(1));
    mPeriodNS = 10000000;
    mTimer.ChangePeriod();
    // Without the wake-up the next tick would be a second away.
    EXPECT_TRUE(WaitForTicks(2));
    mTimer.Stop();
    server.Stop();
    std::lock_guard<std::mutex> lock(mMutex);
    ASSERT_GE(mDue.size(), 2u);
    EXPECT_EQ(mDue[1] - mDue[0], 10000000u);
}

}  // namespace
