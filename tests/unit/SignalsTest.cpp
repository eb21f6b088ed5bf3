#include "Harness.h"
#include "commands/KRVCommandRunner.h"
#include "console/KRVOutputStream.h"
#include "console/KRVSignalWait.h"
#include "console/KRVSignals.h"
#include "console/KRVStdioInterface.h"

namespace {

// Both ends of a pipe, closed again at the end of the test.
struct Pipe {
    Pipe() { EXPECT_EQ(pipe(mEnds), 0); }
    ~Pipe() {
        for (int end : mEnds) {
            close(end);
        }
    }
    // Everything written, once the write end is closed.
    std::string ReadAll() {
        close(std::exchange(mEnds[1], -1));
        std::string text;
        char piece[256];
        for (ssize_t count; (count = read(mEnds[0], piece, sizeof piece)) > 0;) {
            text.append(piece, count);
        }
        return text;
    }
    int mEnds[2] = {-1, -1};
};

class SignalsTest : public testing::Test {
protected:
    void SetUp() override {
        KRVSignals::Install();
        KRVSignals::Clear();
        // A wait that misses its signal would never end: fail instead.
        alarm(20);
    }
    void TearDown() override {
        alarm(0);
        KRVSignals::SetInterruptAction(nullptr, nullptr);
        KRVSignals::Clear();
    }
};

// The handlers note what arrived and nothing more: SIGINT is taken once, the
// first terminating signal stays, and neither ends the process.
TEST_F(SignalsTest, NotesWhatArrivedForTheCommandThread) {
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

// A signal that came after the flags were last looked at, before the wait
// began, ends the wait at once; once seen, it wakes no later wait.
TEST_F(SignalsTest, WaitEndsOnASignalThatCameBeforeIt) {
    Pipe silent;
    raise(SIGTERM);
    EXPECT_EQ(KRVSignalWait::ForDescriptor(silent.mEnds[0], POLLIN, 10000),
              KRVSignalWait::kSignalled);
    EXPECT_EQ(KRVSignalWait::ForDescriptor(silent.mEnds[0], POLLIN, 0), KRVSignalWait::kTimedOut);
    EXPECT_EQ(KRVSignalWait::ForDescriptor(silent.mEnds[1], POLLOUT, 0), KRVSignalWait::kReady);
}

// Lines the stream has read ahead are delivered whatever is pending; after
// them a pending signal ends the read rather than a wait for more.
TEST_F(SignalsTest, ReadTakesBufferedLinesThenGivesUpOnASignal) {
    Pipe input;
    ASSERT_EQ(write(input.mEnds[1], "one\ntwo\n", 8), 8);
    FILE* in = fdopen(dup(input.mEnds[0]), "r");
    KRVStdioInterface interface(in, nullptr);
    char buffer[16];
    EXPECT_EQ(interface.ReadLine(buffer, sizeof buffer), 3);
    raise(SIGINT);
    EXPECT_EQ(interface.ReadLine(buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "two");
    EXPECT_EQ(interface.ReadLine(buffer, sizeof buffer), -1);
    std::fclose(in);
}

// SIGINT's action runs from inside a write (the flush of what was written),
// once; what it writes follows the text being written, and the SIGINT stays
// noted for the loops. (The end-to-end signal cases cover the writes that
// block and give up.)
TEST_F(SignalsTest, InterruptActionRunsOnceFromAWaitingWrite) {
    Pipe output;
    FILE* stream = KRVOutputStream::Open(output.mEnds[1]);
    KRVStdioInterface interface(nullptr, stream);
    static int sRuns;
    sRuns = 0;
    KRVSignals::SetInterruptAction(
        [](void* inInterface) {
            sRuns++;
            static_cast<KRVStdioInterface*>(inInterface)->Write("stopped\n");
        },
        &interface);
    raise(SIGINT);
    interface.Write("text ");
    EXPECT_EQ(sRuns, 0);
    interface.Flush();
    EXPECT_EQ(sRuns, 1);
    EXPECT_TRUE(KRVSignals::IsPending());
    EXPECT_TRUE(KRVSignals::ActOnInterrupt());
    EXPECT_EQ(sRuns, 1);
    std::fclose(stream);
    EXPECT_EQ(output.ReadAll(), "text stopped\n");
}

// An interrupt that comes while a `sh` command is starting ends it at once,
// however soon after the fork it lands: before the command runs, the
// signal must wait for it, not go to our handler in the child; and one the
// shell loses as it hands over to the command goes again (in either case
// only the kill after the grace time ended the command, in about 1 launch
// in 5,000 for the second: many runs, each a millisecond).
TEST_F(SignalsTest, InterruptEndsACommandAsItStarts) {
    KRVStdioInterface interface(nullptr, nullptr);
    for (int run = 0; run < 200; run++) {
        raise(SIGINT);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(KRVCommandRunner::Run("sleep 5", &interface));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500))
            << "run " << run;
        KRVSignals::Clear();
    }
}

}  // namespace
