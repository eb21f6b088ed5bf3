#ifdef MIDICL_HAVE_JACK

#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/wait.h>

#include "MIDICLClock.h"
#include "MIDICLRecorder.h"
#include "hosts/jack/MIDICLJackClock.h"
#include "hosts/jack/MIDICLJackHost.h"
#include "hosts/jack/MIDICLJackOutput.h"

namespace {

using Clock = MIDICLJackClock;

// A cycle at a position just before JACK's 32-bit frame count would wrap, on
// a JACK clock that reads 50 days while ours reads 1 hour: nothing may
// assume the two clocks agree.
const Clock::Cycle kCycle{Clock::kEpoch + 4294967000u, 4320000000000ull, 5333.333f, 256, 256};
constexpr std::int64_t kOffsetNS = (4320000000000ll - 3600000000ll) * 1000;

// Positions follow the server's frame time past the 32-bit wrap and over
// skipped cycles, but not over PipeWire's jump at a quantum change (these
// are the steps PipeWire takes from 256 to 1024 and back).
TEST(MIDICLJackClockTest, PositionsFollowTheServerButNotItsQuantumJumps) {
    Clock::Cycle last{0, 0, 5333.333f, 256};
    const jack_nframes_t first = 4294967000u;
    last.mPosition = Clock::NextPosition(last, 0, first, 256);
    EXPECT_EQ(last.mPosition, Clock::kEpoch + first);
    // (from, to, frames, position): the server's count wraps, then it skips
    // a cycle; the quantum goes to 1024 and back; the cycle of the change to
    // 1024 is missed, one 256 and one 1024 passing; JACK's own server steps
    // by the new buffer size where it changes.
    const std::array<std::uint64_t, 4> kSteps[] = {
        {first, first + 256, 256, 4294967256u}, {first + 256, 216, 256, 4294967512u},
        {216, 728, 256, 4294968024u},           {728, 2008, 1024, 4294968280u},
        {2008, 3032, 1024, 4294969304u},        {3032, 4312, 256, 4294970328u},
        {4312, 4568, 256, 4294970584u},         {4568, 6872, 1024, 4294971864u},
        {6872, 7128, 256, 4294972888u},         {7128, 9176, 2048, 4294973144u}};
    for (const auto& [from, to, frames, position] : kSteps) {
        last.mPosition = Clock::NextPosition(last, jack_nframes_t(from), jack_nframes_t(to),
                                             jack_nframes_t(frames));
        last.mPeriodFrames = jack_nframes_t(frames);
        EXPECT_EQ(last.mPosition - Clock::kEpoch, position) << from << " to " << to;
    }
}

TEST(MIDICLJackClockTest, NowCountsFramesSinceTheCycleUpToItsEnd) {
    EXPECT_EQ(Clock::FramesSince(kCycle, kCycle.mUsecs + 10667), 512);
    EXPECT_EQ(Clock::UsecsSince(kCycle, kCycle.mPosition + 512), 10667);
    EXPECT_EQ(Clock::UsecsSince(kCycle, kCycle.mPosition - 256), -5333);
    EXPECT_EQ(Clock::NowAt(kCycle, kCycle.mUsecs + 2667), kCycle.mPosition + 128);
    // A stalled server: now stays at the end of the last cycle.
    EXPECT_EQ(Clock::NowAt(kCycle, kCycle.mUsecs + 5000000), kCycle.mPosition + 256);
    EXPECT_EQ(Clock::NowAt(kCycle, kCycle.mUsecs - 100), kCycle.mPosition);
    // Two periods, but never less than a quantum switch may need at once.
    EXPECT_EQ(Clock::HandOverLimit(kCycle), kCycle.mPosition + 4096);
    Clock::Cycle longest = kCycle;
    longest.mPeriodFrames = 4096;
    EXPECT_EQ(Clock::HandOverLimit(longest), kCycle.mPosition + 8192);
}

TEST(MIDICLJackClockTest, WakeTimesAreOnOurClockWhateverJacksReads) {
    // JACK's clock read between ours at 1 hour and 1 hour + 2 us.
    const std::uint64_t ourHour = 3600000000000ull;
    EXPECT_EQ(Clock::ClockOffsetNS(ourHour, kCycle.mUsecs + 1, ourHour + 2000), kOffsetNS);
    // The cycle's own frame is due at our hour; a message is placed a
    // latency after its time and handed over a lead before that, even when
    // that is past.
    const std::uint64_t cycleTime = kCycle.mPosition;
    EXPECT_EQ(Clock::WakeTimeNS(kCycle, cycleTime + 3840, kOffsetNS), ourHour);
    EXPECT_EQ(Clock::WakeTimeNS(kCycle, cycleTime + 3840 + 48000, kOffsetNS), ourHour + 1000000000);
    EXPECT_EQ(Clock::WakeTimeNS(kCycle, cycleTime + 3840 - 48000, kOffsetNS), ourHour - 1000000000);
    // The quantum grew to 4096 since the latency was set at 256.
    Clock::Cycle grown = kCycle;
    grown.mPeriodFrames = 4096;
    grown.mPeriodUsecs = 85333.333f;
    EXPECT_EQ(Clock::WakeTimeNS(grown, cycleTime + 7936, kOffsetNS), ourHour);
}

constexpr jack_nframes_t kPeriod = 256;
constexpr jack_nframes_t kRate = 48000;

// A JACK client of the test's own with one MIDI input; its process callback
// counts the events that arrive and can stop the server on one of them.
class MIDICLJackProbe {
public:
    bool Open(const std::string& inServer) {
        mClient = jack_client_open("krv-probe", jack_options_t(JackNoStartServer | JackServerName),
                                   nullptr, inServer.c_str());
        if (mClient == nullptr) {
            return false;
        }
        mPort = jack_port_register(mClient, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(mClient, Process, this);
        return mPort != nullptr && jack_activate(mClient) == 0;
    }
    void Close() {
        if (mClient != nullptr) {
            jack_client_close(mClient);
            mClient = nullptr;
        }
    }
    jack_client_t* GetClient() const { return mClient; }
    std::size_t GetSeen() const { return mSeen.load(); }
    // Stops the server inServer, in the cycle that brings the first event of
    // status inStatus; GetStoppedAt() is then that cycle's first frame.
    void StopServerOn(std::uint8_t inStatus, pid_t inServer) {
        mStopServer = inServer;
        mStoppedAt.store(-1);
        mStopStatus.store(inStatus);
    }
    std::int64_t GetStoppedAt() const { return mStoppedAt.load(); }

    // A new connection takes effect at a cycle boundary after jack_connect
    // returns; what is sent before that goes nowhere.
    bool WaitForConnection() const {
        const bool connected = Await([this] { return jack_port_connected(mPort) != 0; });
        const jack_nframes_t until = jack_frame_time(mClient) + 4 * kPeriod;
        Await([&] { return static_cast<std::int32_t>(jack_frame_time(mClient) - until) >= 0; });
        return connected;
    }

private:
    static int Process(jack_nframes_t inFrames, void* inArg) {
        auto* probe = static_cast<MIDICLJackProbe*>(inArg);
        void* buffer = jack_port_get_buffer(probe->mPort, inFrames);
        const jack_nframes_t start = jack_last_frame_time(probe->mClient);
        probe->mSeen.fetch_add(jack_midi_get_event_count(buffer));
        for (std::uint32_t i = 0; i < jack_midi_get_event_count(buffer); ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) {
                continue;
            }
            if (probe->mStopStatus.load() != 0 && event.buffer[0] == probe->mStopStatus.load()) {
                kill(probe->mStopServer, SIGSTOP);
                probe->mStopStatus.store(0);
                probe->mStoppedAt.store(start);
            }
        }
        return 0;
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mPort = nullptr;
    std::atomic<std::size_t> mSeen{0};
    pid_t mStopServer = -1;
    std::atomic<int> mStopStatus{0};
    std::atomic<std::int64_t> mStoppedAt{-1};
};

bool HaveJackd() {
    return std::system("command -v jackd >/dev/null 2>&1") == 0;
}

// One dummy-driver server per run of this suite. Every JACK test uses the
// same server name (one at a time, under a CTest resource lock): the machine
// has few server slots, and a slot left by a server that died is taken back
// only by a new server of the same name.
class MIDICLJackTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!HaveJackd()) {
            return;
        }
        const char* name = std::getenv("KRV_TEST_JACK_SERVER");
        sServer = name != nullptr && *name != '\0' ? name : "krv-test";
        sServerPid = fork();
        if (sServerPid == 0) {
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            const std::string rate = std::to_string(kRate);
            const std::string period = std::to_string(kPeriod);
            // Synchronous: the server waits for a client that runs late (a
            // sanitizer makes ours slow) instead of dropping what it wrote.
            execlp("jackd", "jackd", "-S", "-t", "5000", "-n", sServer.c_str(), "-d", "dummy", "-r",
                   rate.c_str(), "-p", period.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ::setenv("JACK_DEFAULT_SERVER", sServer.c_str(), 1);
        const auto limit = std::chrono::seconds(10);
        Await([] { return sProbe.Open(sServer) || (sProbe.Close(), false); }, limit);
        // A fresh server's time-to-frame estimate is still settling: give it
        // a second of cycles before anything is placed by time.
        Await(
            [] {
                return sProbe.GetClient() == nullptr ||
                       jack_frame_time(sProbe.GetClient()) >= kRate;
            },
            limit);
    }

    static void TearDownTestSuite() {
        sProbe.Close();
        if (sServerPid > 0) {
            kill(sServerPid, SIGTERM);
            waitpid(sServerPid, nullptr, 0);
            sServerPid = -1;
        }
        ::unsetenv("JACK_DEFAULT_SERVER");
    }

    void SetUp() override {
        if (!HaveJackd()) {
            GTEST_SKIP() << "jackd is not installed";
        }
        ASSERT_NE(sProbe.GetClient(), nullptr) << "jackd -n " << sServer << " did not answer";
    }

    // The first cycles through a new port may run late (page faults, and far
    // more so under a sanitizer), and JACK drops what a late client wrote.
    // Active sensing goes through until the probe hears it, so that the
    // checks that follow see a port in its steady state.
    static void WarmUp(const std::function<void()>& inSendSensing) {
        ASSERT_TRUE(sProbe.WaitForConnection());
        const std::size_t before = sProbe.GetSeen();
        ASSERT_TRUE(Await(
            [&] {
                inSendSensing();
                return Await([before] { return sProbe.GetSeen() > before; },
                             std::chrono::milliseconds(100));
            },
            std::chrono::seconds(5)))
            << "nothing sent through the port ever arrived";
    }

    static std::string sServer;
    static pid_t sServerPid;
    static MIDICLJackProbe sProbe;
};

std::string MIDICLJackTest::sServer;
pid_t MIDICLJackTest::sServerPid = -1;
MIDICLJackProbe MIDICLJackTest::sProbe;

// When the queue fills up it refuses note-ons while it still takes the
// note-off of every note-on it took.
TEST_F(MIDICLJackTest, FullQueueRefusesNoteOnsButNeverTheirNoteOffs) {
    MIDICLClient client("krv-midicl", "jack");
    std::unique_ptr<MIDICLOutputPort> port(client.MakeOutputPort("output"));
    // Stamped ten seconds ahead, so that nothing leaves while we fill.
    const MIDICLTimeStamp later = port->GetClock().Now() + 10 * kRate;
    int taken = 0;
    try {
        for (;; ++taken) {
            port->SendNoteOn(0, taken % 128, 100, later);
        }
    } catch (const MIDICLException& exception) {
        EXPECT_EQ(exception.GetCallNumber(), MIDICLException::kMIDISend);
    }
    ASSERT_GT(taken, 1000);
    for (int i = 0; i < taken; ++i) {
        ASSERT_NO_THROW(port->SendNoteOff(0, i % 128, 0, later + 1)) << "note-off " << i;
    }
    EXPECT_THROW(port->SendNoteOn(0, 1, 100, later), MIDICLException);
}

// A port being destroyed waits, after its queue has emptied, for one more
// cycle, so that what the last pass wrote reaches the port's connections.
// The probe stops the server in the cycle that brings the port's note-off:
// no cycle follows, so a drain that waits as it should can end only as
// stuck, however late the test's threads run. Should the server have run
// the port's next cycle before it stopped, the try is made again.
TEST_F(MIDICLJackTest, DrainWaitsForACycleAfterTheQueueEmpties) {
    // What a stuck drain leaves alive on purpose (its close could block on
    // the stopped server) is ended here once the server runs again, after
    // the host's own pointers have gone.
    struct Abandoned {
        MIDICLJackHost* mHost = nullptr;
        ~Abandoned() { delete mHost; }
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        Abandoned abandoned;
        auto host = std::static_pointer_cast<MIDICLJackHost>(MIDICLJackHost::Open("krv-drain"));
        std::unique_ptr<MIDICLHostOutput> output = host->CreateOutputPort("output");
        const void* entry = static_cast<MIDICLJackOutput*>(output.get());
        auto listed = [&] {
            for (std::size_t i = 0; i < host->GetOutputs().GetLimit(); ++i) {
                if (host->GetOutputs().Get(i) == entry)
                    return true;
            }
            return false;
        };
        // The name of a host closed in the try before may not be free yet.
        const std::string name = jack_get_client_name(host->GetClient()) + std::string(":output");
        ASSERT_EQ(jack_connect(sProbe.GetClient(), name.c_str(), "krv-probe:in"), 0);
        auto send = [&output](std::initializer_list<std::uint8_t> inBytes) {
            MIDICLPacketList list;
            list.Add(0, std::data(inBytes), inBytes.size());
            return output->Send(list);
        };
        ASSERT_NO_FATAL_FAILURE(WarmUp([&] { send({0xFE}); }));
        sProbe.StopServerOn(0x80, sServerPid);
        ASSERT_EQ(send({0x80, 60, 0}), 0);
        ASSERT_TRUE(Await([] { return sProbe.GetStoppedAt() >= 0; }, std::chrono::seconds(5)));
        std::thread destroy([&output] { output.reset(); });
        const bool left = Await([&] { return !listed(); }, std::chrono::seconds(5));
        const bool stuck = host->GetDrainWait().IsStuck();
        // A stopped server's clock stands at the end of the last cycle run.
        const auto end = static_cast<jack_nframes_t>(sProbe.GetStoppedAt() + kPeriod);
        const bool stoppedThere =
            Await([&] { return static_cast<jack_nframes_t>(host->GetClock().Now()) == end; },
                  std::chrono::seconds(1));
        kill(sServerPid, SIGCONT);
        destroy.join();
        if (host->GetTeardown().IsUnresponsive()) {
            ASSERT_TRUE(Await([&] { return host->GetTeardown().LeftCallReturned(); },
                              std::chrono::seconds(5)));
            jack_client_close(host->GetClient());
            abandoned.mHost = host.get();
        }
        ASSERT_TRUE(left);
        if (stoppedThere) {
            EXPECT_TRUE(stuck) << "the drain ended before the cycle after the note-off";
            return;
        }
    }
    FAIL() << "three times the server ran another cycle before it stopped";
}

}  // namespace

#endif
