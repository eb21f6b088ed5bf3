// A JACK client that records every MIDI event reaching its port "in" and
// writes them out at SIGTERM or SIGINT (jack_midi_dump drops events between
// reads without a word).  krv_jack_recorder OUTPUT CLIENT-NAME PORTS MODE
// PORTS above 1 adds ports "in-2"... that record nothing; 0 makes no "in".
// It prints "ready" once its ports exist. OUTPUT: "frame usecs offset
// TRANSPORT-FRAME BEATS BPM WOKE byte..." an event (usecs on JACK's clock,
// offset into its cycle, where the transport stood, and when the recorder
// woke for that cycle: the server's cycle times are estimates, which after a
// stall trail real time by as much as the stall), then "# offset NS" (JACK's
// clock minus CLOCK_MONOTONIC at exit), "# lost N" (past capacity),
// "# connected FRAME" (the first cycle with a connection) and "# missed
// FRAME FRAMES" for each run of cycles the server did not call the recorder
// for, or called late (never heard here, or heard late). Lines on its
// standard input drive it, each answered "ok" once done. With MODE "master"
// it is the timebase master too ("bpm N", "start", "stop", "locate FRAME"); with MODE
// "driver" it drives the transport so, with no timebase master. With MODE
// "clock" it sends MIDI clock at 120 bpm from a port "out", each clock up to
// 300 us off its tick (the same draws every run), driven so: "start" (Start,
// then a clock a tick), "pause" (no clock after the second of the next
// quarter), "resume", "stop" (Stop, no more clocks); what it sent is written
// out as if it had heard it.
// With MODE "play" or "play:FILE" it is a keyboard with a port "out": a line
// ("90 3c 64": one message in hex) goes out in a cycle of its own, answered
// once a later cycle began (a client it feeds has had it by then); the line
// "flood" sends, for a second, 10,000 notes a second with a sysex and active
// sensing in every cycle. FILE of "FRAMES BYTE..." lines in order of FRAMES
// is played each line FRAMES after the first note-on that "in" heard: a
// keyboard played in time with what it hears. It prints "played" once the
// last has gone, and three cycles more have passed.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hosts/jack/MIDICLJackClock.h"
#include "hosts/jack/MIDICLJackTransport.h"

namespace {

// Where the transport stood at an event (-1: stopped), and what its
// timebase master said (beats since bar 1 beat 1; -1: no master).
struct TransportAt {
    std::int64_t mFrame;
    double mBeats;
    double mBPM;
};

struct RecordedEvent {
    jack_nframes_t mFrame;
    // Into its cycle: krv writes its repeated note-offs at a cycle's start.
    jack_nframes_t mOffset;
    jack_time_t mUsecs;
    jack_time_t mWokeUsecs;
    std::uint32_t mSize;
    std::array<std::uint8_t, 3> mBytes;
    TransportAt mTransport;
};

constexpr std::size_t kCapacity = 1024 * 1024;

std::vector<RecordedEvent> sEvents(kCapacity);
std::atomic<std::size_t> sCount{0};
std::atomic<std::size_t> sLost{0};
// The first cycle in which the port had a connection.
std::atomic<bool> sConnected{false};
jack_nframes_t sConnectedFrame = 0;
jack_port_t* sPort = nullptr;
// What the player plays, and where it stands; the first note-on heard.
struct PlayedEvent {
    std::uint64_t mFrames;
    std::vector<std::uint8_t> mBytes;
};
std::vector<PlayedEvent> sPlayed;
std::size_t sNextPlayed = 0;
std::uint64_t sFirstHeard = 0;
jack_port_t* sOutPort = nullptr;
std::atomic<int> sCyclesPlayed{0};
// Runs of cycles the recorder was not called for: first frame and length.
constexpr std::size_t kMissedCapacity = 256;
std::array<std::array<std::uint64_t, 2>, kMissedCapacity> sMissed;
std::atomic<std::size_t> sMissedCount{0};

// The clock sender's port, and the command its process callback takes next
// ('a' start, 'p' pause, 'r' resume, 's' stop).
jack_port_t* sClockPort = nullptr;
std::atomic<char> sClockAsked{0};

void SendByte(void* ioBuffer, std::uint64_t inCycle, std::uint64_t inFrame, std::uint8_t inByte) {
    jack_midi_event_write(ioBuffer, jack_nframes_t(inFrame - inCycle), &inByte, 1);
}

// Each tick is moved by a draw of up to the jitter either way.
void SendClock(jack_client_t* inClient, jack_nframes_t inFrames, std::uint64_t inCycle) {
    static bool sRunning = false, sPausing = false, sPaused = false;
    static double sIdeal = 0;
    static std::uint64_t sClocks = 0;
    static std::uint32_t sDraw = 1;
    const double tick = jack_get_sample_rate(inClient) / 48.0;
    const std::int64_t jitter = std::llround(jack_get_sample_rate(inClient) * 300e-6);
    void* buffer = jack_port_get_buffer(sClockPort, inFrames);
    jack_midi_clear_buffer(buffer);
    const char asked = sClockAsked.exchange(0);
    if (asked == 'a') {
        SendByte(buffer, inCycle, inCycle, 0xFA);
        sRunning = true;
        sClocks = 0;
    }
    sPausing = sPausing || asked == 'p';
    if (asked == 'a' || (asked == 'r' && sPaused)) {
        sPaused = false;
        sIdeal = double(inCycle) + tick;
    }
    for (;;) {
        const auto due = std::uint64_t(std::llround(sIdeal) +
                                       std::int64_t(sDraw >> 8) % (2 * jitter + 1) - jitter);
        if (!sRunning || sPaused || due >= inCycle + inFrames) {
            break;
        }
        SendByte(buffer, inCycle, std::max(due, inCycle), 0xF8);
        sIdeal += tick;
        sDraw = sDraw * 1103515245u + 12345u;
        sPaused = ++sClocks % 24 == 2 && sPausing;
        sPausing = sPausing && !sPaused;
    }
    if (asked == 's') {
        SendByte(buffer, inCycle, inCycle + inFrames - 1, 0xFC);
        sRunning = false;
    }
}

// Where the transport stands at an event inFrame into the cycle.
TransportAt ReadTransport(jack_client_t* inClient, jack_nframes_t inFrame) {
    jack_position_t position{};
    const bool rolling = jack_transport_query(inClient, &position) == JackTransportRolling;
    TransportAt at{rolling ? std::int64_t(position.frame + inFrame) : -1, -1, -1};
    if ((position.valid & JackPositionBBT) != 0) {
        at.mBPM = position.beats_per_minute;
        at.mBeats = (position.bar - 1) * double(position.beats_per_bar) + position.beat - 1 +
                    position.tick / position.ticks_per_beat +
                    inFrame * position.beats_per_minute / (60.0 * position.frame_rate);
    }
    return at;
}

// A cycle skipped, or one that started more than half a period late (the
// server's frame count may go on as if it had not): what the recorder
// hears there is no measure of krv.
void NoteMissed(const MIDICLJackClock::Cycle& inLast, std::uint64_t inPosition,
                jack_time_t inUsecs) {
    const std::uint64_t expected = inLast.mPosition + inLast.mPeriodFrames;
    const bool late = double(inUsecs - inLast.mUsecs) > 1.5 * inLast.mPeriodUsecs;
    const std::size_t n = sMissedCount.load(std::memory_order_relaxed);
    if (inLast.mPosition != 0 && (inPosition > expected || late) && n < kMissedCapacity) {
        sMissed[n] = {expected, inPosition - expected};
        sMissedCount.store(n + 1, std::memory_order_release);
    }
}

// The keyboard: lines handed to the process callback through a ring
// buffer (a length byte, then the bytes), and cycles counted for answers.
jack_ringbuffer_t* sToPlay = nullptr;
std::atomic<std::uint64_t> sCycles{0};
std::atomic<std::uint64_t> sFloodUntil{0};

void Flood(void* inBuffer, jack_nframes_t inFrames) {
    static const std::uint8_t kSysEx[] = {0xF0, 0x7D, 1, 2, 3, 4, 5, 6, 7, 0xF7};
    static const std::uint8_t kSensing[] = {0xFE};
    jack_midi_event_write(inBuffer, 0, kSysEx, sizeof kSysEx);
    jack_midi_event_write(inBuffer, 0, kSensing, 1);
    // 10,000 notes a second at 48 kHz: one every 4.8 frames, on then off.
    static double sNext = 0;
    for (; sNext < inFrames; sNext += 4.8) {
        const auto frame = static_cast<jack_nframes_t>(sNext);
        const std::uint8_t on[] = {0x90, 100, 1};
        const std::uint8_t off[] = {0x80, 100, 0};
        jack_midi_event_write(inBuffer, frame, on, 3);
        jack_midi_event_write(inBuffer, frame, off, 3);
    }
    sNext -= inFrames;
}

// The flood, a line read, and what FILE has due in this cycle go out (what
// is late, at its start); a flood or a line is never sent beside FILE.
void Play(void* inHeard, std::uint64_t inPosition, jack_nframes_t inFrames) {
    void* out = jack_port_get_buffer(sOutPort, inFrames);
    jack_midi_clear_buffer(out);
    if (sCycles.load() + 1 < sFloodUntil.load()) {
        Flood(out, inFrames);
    }
    std::uint8_t length = 0;
    if (jack_ringbuffer_peek(sToPlay, reinterpret_cast<char*>(&length), 1) == 1 &&
        jack_ringbuffer_read_space(sToPlay) >= 1u + length) {
        std::uint8_t bytes[256];
        jack_ringbuffer_read_advance(sToPlay, 1);
        jack_ringbuffer_read(sToPlay, reinterpret_cast<char*>(bytes), length);
        jack_midi_event_write(out, 0, bytes, length);
    }
    const std::uint32_t count = inHeard != nullptr ? jack_midi_get_event_count(inHeard) : 0;
    for (std::uint32_t i = 0; i < count && sFirstHeard == 0; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, inHeard, i) == 0 && event.size == 3 &&
            (event.buffer[0] & 0xF0) == 0x90 && event.buffer[2] != 0) {
            sFirstHeard = inPosition + event.time;
        }
    }
    while (sFirstHeard != 0 && sNextPlayed < sPlayed.size() &&
           sFirstHeard + sPlayed[sNextPlayed].mFrames < inPosition + inFrames) {
        const PlayedEvent& event = sPlayed[sNextPlayed++];
        const std::uint64_t at = sFirstHeard + event.mFrames;
        jack_midi_event_write(out, at > inPosition ? at - inPosition : 0, event.mBytes.data(),
                              event.mBytes.size());
    }
    if (sFirstHeard != 0 && sNextPlayed == sPlayed.size()) {
        sCyclesPlayed.fetch_add(1, std::memory_order_relaxed);
    }
}

// The bytes, in hex, left in ioWords.
std::vector<std::uint8_t> HexBytes(std::istream& ioWords) {
    std::vector<std::uint8_t> bytes;
    for (unsigned byte = 0; ioWords >> std::hex >> byte;) {
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return bytes;
}

bool ReadPlayed(const char* inPath) {
    std::ifstream in(inPath);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        PlayedEvent event{};
        words >> event.mFrames;
        event.mBytes = HexBytes(words);
        sPlayed.push_back(event);
    }
    return !sPlayed.empty();
}

int Process(jack_nframes_t inFrames, void* inArg) {
    auto* client = static_cast<jack_client_t*>(inArg);
    jack_nframes_t cycleFrame = 0;
    jack_time_t cycleUsecs = 0;
    jack_time_t nextUsecs = 0;
    float periodUsecs = 0;
    jack_get_cycle_times(client, &cycleFrame, &cycleUsecs, &nextUsecs, &periodUsecs);
    const jack_time_t wokeUsecs = jack_get_time();
    // Frames are numbered as krv numbers them: PipeWire's own frame time
    // jumps by a quantum when the quantum changes, without the time passing.
    static MIDICLJackClock::Cycle sLast;
    static jack_nframes_t sLastServerFrame = 0;
    const std::uint64_t next =
        MIDICLJackClock::NextPosition(sLast, sLastServerFrame, cycleFrame, inFrames);
    NoteMissed(sLast, next, cycleUsecs);
    sLast.mPosition = next;
    sLast.mPeriodFrames = inFrames;
    sLast.mUsecs = cycleUsecs;
    sLast.mPeriodUsecs = periodUsecs;
    sLastServerFrame = cycleFrame;
    const auto position = static_cast<jack_nframes_t>(sLast.mPosition);
    if (sPort != nullptr && !sConnected.load(std::memory_order_relaxed) &&
        jack_port_connected(sPort) > 0) {
        sConnectedFrame = position;
        sConnected.store(true, std::memory_order_release);
    }
    if (sClockPort != nullptr) {
        SendClock(client, inFrames, sLast.mPosition);
    }
    void* buffer = sPort != nullptr ? jack_port_get_buffer(sPort, inFrames) : nullptr;
    // What "in" heard, and what the clock sender sent.
    void* sent = sClockPort != nullptr ? jack_port_get_buffer(sClockPort, inFrames) : nullptr;
    std::size_t n = sCount.load(std::memory_order_relaxed);
    for (void* recorded : {buffer, sent}) {
        const std::uint32_t count = recorded != nullptr ? jack_midi_get_event_count(recorded) : 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, recorded, i) != 0) {
                continue;
            }
            if (n == kCapacity) {
                sLost.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            RecordedEvent& kept = sEvents[n++];
            kept.mTransport = ReadTransport(client, event.time);
            kept.mFrame = position + event.time;
            kept.mOffset = event.time;
            kept.mUsecs = cycleUsecs + (nextUsecs - cycleUsecs) * event.time / inFrames;
            kept.mWokeUsecs = wokeUsecs;
            kept.mSize = static_cast<std::uint32_t>(event.size);
            for (std::size_t b = 0; b < kept.mBytes.size(); ++b) {
                kept.mBytes[b] = b < event.size ? event.buffer[b] : 0;
            }
        }
    }
    sCount.store(n, std::memory_order_release);
    if (sOutPort != nullptr) {
        Play(buffer, sLast.mPosition, inFrames);
    }
    sCycles.fetch_add(1);
    return 0;
}

std::uint64_t MonotonicNS() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1000000000u + std::uint64_t(now.tv_nsec);
}

// The narrowest bracket of a few tries.
std::int64_t MeasureOffsetNS() {
    std::int64_t offset = 0;
    std::uint64_t narrowest = UINT64_MAX;
    for (int i = 0; i < 20; ++i) {
        const std::uint64_t before = MonotonicNS();
        const jack_time_t jackUsecs = jack_get_time();
        const std::uint64_t after = MonotonicNS();
        if (after - before < narrowest) {
            narrowest = after - before;
            offset = std::int64_t(jackUsecs * 1000) - std::int64_t(before + (after - before) / 2);
        }
    }
    return offset;
}

int Write(const char* inPath) {
    FILE* out = std::fopen(inPath, "w");
    if (out == nullptr) {
        std::perror(inPath);
        return 1;
    }
    const std::size_t count = sCount.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < count; ++i) {
        const RecordedEvent& event = sEvents[i];
        std::fprintf(out, "%u %llu %u %lld %.6f %.6f %llu", event.mFrame,
                     static_cast<unsigned long long>(event.mUsecs), event.mOffset,
                     static_cast<long long>(event.mTransport.mFrame), event.mTransport.mBeats,
                     event.mTransport.mBPM, static_cast<unsigned long long>(event.mWokeUsecs));
        for (std::uint32_t b = 0; b < event.mSize && b < event.mBytes.size(); ++b) {
            std::fprintf(out, " %02x", event.mBytes[b]);
        }
        std::fputc('\n', out);
    }
    std::fprintf(out, "# offset %lld\n# lost %zu\n", static_cast<long long>(MeasureOffsetNS()),
                 sLost.load());
    const std::size_t missed = sMissedCount.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < missed; ++i) {
        std::fprintf(out, "# missed %u %llu\n", static_cast<jack_nframes_t>(sMissed[i][0]),
                     static_cast<unsigned long long>(sMissed[i][1]));
    }
    if (sConnected.load(std::memory_order_acquire)) {
        std::fprintf(out, "# connected %u\n", sConnectedFrame);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

void WaitForCycles(std::uint64_t inCycles) {
    const std::uint64_t until = sCycles.load() + inCycles;
    while (sCycles.load() < until) {
        timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
}

// The lines on standard input, until it ends.
void Command(MIDICLJackTransport* ioTransport, std::uint64_t inCyclesPerSecond) {
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (sClockPort != nullptr) {
            sClockAsked.store(word == "start" ? 'a' : word[0]);
        } else if (sOutPort != nullptr && word == "flood") {
            sFloodUntil.store(sCycles.load() + inCyclesPerSecond);
            WaitForCycles(inCyclesPerSecond + 2);
        } else if (sOutPort != nullptr) {
            std::istringstream bytes(line);
            const std::vector<std::uint8_t> message = HexBytes(bytes);
            const auto length = static_cast<char>(message.size());
            jack_ringbuffer_write(sToPlay, &length, 1);
            jack_ringbuffer_write(sToPlay, reinterpret_cast<const char*>(message.data()),
                                  message.size());
            WaitForCycles(3);
        } else if (word == "bpm") {
            double bpm = 0;
            words >> bpm;
            ioTransport->SetLeadBPM(bpm);
        } else if (word == "start") {
            ioTransport->Start();
        } else if (word == "stop") {
            ioTransport->Stop();
        } else if (word == "locate") {
            std::uint64_t frame = 0;
            words >> frame;
            ioTransport->Locate(frame);
        }
        std::printf("ok\n");
        std::fflush(stdout);
    }
}

}  // namespace

int main(int inArgc, char** inArgv) {
    if (inArgc != 5) {
        std::fprintf(stderr, "usage: %s OUTPUT CLIENT-NAME PORTS MODE\n", inArgv[0]);
        return 2;
    }
    // Taken by sigwait below, not by a handler, and by no JACK thread.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    jack_client_t* client = jack_client_open(inArgv[2], JackNoStartServer, nullptr);
    if (client == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    const int ports = std::atoi(inArgv[3]);
    bool registered = true;
    for (int i = 1; i <= ports; ++i) {
        const std::string name = i == 1 ? "in" : "in-" + std::to_string(i);
        jack_port_t* port =
            jack_port_register(client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        sPort = i == 1 ? port : sPort;
        registered = registered && port != nullptr;
    }
    const std::string mode = inArgv[4];
    if (mode == "clock" || mode.rfind("play", 0) == 0) {
        jack_port_t* out =
            jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        (mode == "clock" ? sClockPort : sOutPort) = out;
        registered = registered && out != nullptr;
    }
    sToPlay = jack_ringbuffer_create(4096);
    if (!registered || (mode.rfind("play:", 0) == 0 && !ReadPlayed(mode.c_str() + 5)) ||
        jack_set_process_callback(client, Process, client) != 0 || jack_activate(client) != 0) {
        std::fprintf(stderr, "cannot set up the recorder's ports\n");
        return 1;
    }
    const std::atomic<bool> closed{false};
    MIDICLJackTransport transport(client, closed);
    if (mode == "master" && !transport.Lead(true)) {
        std::fprintf(stderr, "cannot become the timebase master\n");
        return 1;
    }
    std::thread(Command, &transport, jack_get_sample_rate(client) / jack_get_buffer_size(client))
        .detach();
    std::printf("ready\n");
    std::fflush(stdout);
    // A player looks every 10 ms whether it has played all.
    const timespec tenMS{0, 10000000};
    int signal = -1;
    while (!sPlayed.empty() && (signal = sigtimedwait(&stop, nullptr, &tenMS)) < 0) {
        if (sCyclesPlayed.load() > 3) {
            std::printf("played\n");
            std::fflush(stdout);
            break;
        }
    }
    if (signal < 0) {
        sigwait(&stop, &signal);
    }
    jack_deactivate(client);
    const int status = Write(inArgv[1]);
    jack_client_close(client);
    return status;
}
