#include "hosts/jack/MIDICLJackTransport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

// A reading left from an earlier watch is stale: only one published after
// this counts.
void MIDICLJackTransport::Watch(bool inWatch) {
    if (inWatch) {
        mWatchedFrom.store(mSequence.load() + 2);
    }
    mWatchers.fetch_add(inWatch ? 1 : -1);
}

void MIDICLJackTransport::Publish(std::uint64_t inCycleStart, jack_nframes_t inFrames) {
    if (mWatchers.load() <= 0) {
        // Unwatched cycles go unseen: the frame read last is not the one
        // before the next reading.
        mDescribedValid = false;
        return;
    }
    jack_position_t jack{};
    const jack_transport_state_t state = jack_transport_query(mClient, &jack);
    Position position;
    position.mRolling = state == JackTransportRolling;
    position.mCycleStart = inCycleStart;
    position.mFrame = jack.frame;
    position.mFrameRate = jack.frame_rate;
    position.mHasBeats = (jack.valid & JackPositionBBT) != 0 && jack.beats_per_minute > 0 &&
                         jack.ticks_per_beat > 0 && jack.beats_per_bar > 0 && jack.beat_type > 0;
    if (position.mHasBeats) {
        position.mBar = jack.bar;
        position.mBeat = jack.beat;
        position.mTick = jack.tick;
        position.mTicksPerBeat = jack.ticks_per_beat;
        position.mBeatsPerBar = jack.beats_per_bar;
        position.mBeatType = jack.beat_type;
        position.mBPM = jack.beats_per_minute;
        if (mBeatsLag && mDescribedValid) {
            // Cycles this client missed went on for the master: what it
            // says is of the cycle just before this one.
            const bool next = inCycleStart == mDescribedCycleEnd;
            const double frames = next ? double(jack.frame) - mDescribedFrame
                                       : (position.mRolling ? double(inFrames) : 0);
            if (frames != 0) {
                CarryBeats(frames, position);
            }
        }
    }
    mDescribedFrame = jack.frame;
    mDescribedCycleEnd = inCycleStart + inFrames;
    mDescribedValid = true;
    std::array<std::uint64_t, kWords> words{};
    std::memcpy(words.data(), &position, sizeof position);
    // Sequentially consistent throughout, as the clock's cycle is.
    const std::uint32_t sequence = mSequence.load();
    mSequence.store(sequence + 1);
    for (std::size_t i = 0; i < kWords; ++i) {
        mWords[i].store(words[i]);
    }
    mSequence.store(sequence + 2);
}

// At the master's tempo, as its line goes when nothing moves it. The
// master's count is up to a tick short, and PipeWire, which hands it on as
// a fraction of beats, loses up to one more: a tick on is the middle of
// where the master may be, and the carried count is rounded to the tick.
void MIDICLJackTransport::CarryBeats(double inFrames, Position& ioPosition) {
    const double perBar = ioPosition.mBeatsPerBar;
    const double beats = std::max((ioPosition.mBar - 1) * perBar + (ioPosition.mBeat - 1) +
                                      (ioPosition.mTick + 1.5) / ioPosition.mTicksPerBeat +
                                      inFrames * ioPosition.mBPM / (60 * ioPosition.mFrameRate),
                                  0.0);
    const double bars = std::floor(beats / perBar);
    const double beat = std::floor(beats - bars * perBar);
    ioPosition.mBar = static_cast<std::int32_t>(bars) + 1;
    ioPosition.mBeat = static_cast<std::int32_t>(beat) + 1;
    ioPosition.mTick =
        static_cast<std::int32_t>((beats - bars * perBar - beat) * ioPosition.mTicksPerBeat);
}

bool MIDICLJackTransport::Read(Position& outPosition) const {
    std::array<std::uint64_t, kWords> words{};
    for (;;) {
        const std::uint32_t before = mSequence.load();
        for (std::size_t i = 0; i < kWords; ++i) {
            words[i] = mWords[i].load();
        }
        if ((before & 1) == 0 && mSequence.load() == before) {
            std::memcpy(static_cast<void*>(&outPosition), words.data(), sizeof outPosition);
            return before >= mWatchedFrom.load();
        }
    }
}

void MIDICLJackTransport::Start() {
    if (!mClosed.load()) {
        jack_transport_start(mClient);
    }
}

void MIDICLJackTransport::Stop() {
    if (!mClosed.load()) {
        jack_transport_stop(mClient);
    }
}

void MIDICLJackTransport::Locate(std::uint64_t inFrame) {
    if (!mClosed.load()) {
        jack_transport_locate(mClient, static_cast<jack_nframes_t>(inFrame));
    }
}

// Conditional: a DAW that already leads keeps its bars, rather than have
// them change under the user; letting go first is the user's choice. For
// the command thread.
bool MIDICLJackTransport::Lead(bool inLead) {
    if (mClosed.load()) {
        mLeading = false;
        return !inLead;
    }
    if (inLead && !mLeading) {
        const std::uint32_t before = mCalled.load();
        mLeading = jack_set_timebase_callback(mClient, 1, TimebaseCallback, this) == 0 &&
                   CalledSince(before);
        return mLeading;
    }
    if (!inLead && mLeading) {
        jack_release_timebase(mClient);
        mLeading = false;
    }
    return true;
}

// A new master is asked where it stands in its first cycles, rolling or
// not. PipeWire's JACK accepts a conditional request while another client
// leads, and then never calls: only a call proves the lead.
bool MIDICLJackTransport::CalledSince(std::uint32_t inBefore) const {
    constexpr auto kDeadline = std::chrono::milliseconds(500);
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (mCalled.load() == inBefore) {
        if (mClosed.load() || std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void MIDICLJackTransport::TimebaseCallback(jack_transport_state_t, jack_nframes_t,
                                           jack_position_t* ioPosition, int inNewPosition,
                                           void* inArg) {
    auto* transport = static_cast<MIDICLJackTransport*>(inArg);
    transport->mCalled.fetch_add(1);
    transport->Describe(*ioPosition, inNewPosition != 0);
}

// A tempo change bends the line at the frame of the cycle that sees it; a
// move starts it again from frame 0, so that where a frame lies does not
// depend on the way the transport came there.
void MIDICLJackTransport::Describe(jack_position_t& ioPosition, bool inMoved) {
    const double bpm = mLeadBPM.load();
    const double frame = ioPosition.frame;
    const double rate = ioPosition.frame_rate > 0 ? ioPosition.frame_rate : 48000;
    if (inMoved || mAnchorBPM <= 0) {
        mAnchorFrame = 0;
        mAnchorBeats = 0;
        mAnchorBPM = bpm;
    }
    if (bpm != mAnchorBPM) {
        mAnchorBeats += (frame - mAnchorFrame) * mAnchorBPM / (60 * rate);
        mAnchorFrame = frame;
        mAnchorBPM = bpm;
    }
    FillBeats(mAnchorBeats + (frame - mAnchorFrame) * bpm / (60 * rate), bpm, ioPosition);
}

void MIDICLJackTransport::FillBeats(double inBeats, double inBPM, jack_position_t& ioPosition) {
    constexpr int kBeatsPerBar = 4;
    const double beats = std::max(inBeats, 0.0);
    const double whole = std::floor(beats);
    const auto bars = static_cast<std::int64_t>(whole) / kBeatsPerBar;
    ioPosition.valid = JackPositionBBT;
    ioPosition.bar = static_cast<std::int32_t>(bars + 1);
    ioPosition.beat =
        static_cast<std::int32_t>(static_cast<std::int64_t>(whole) % kBeatsPerBar + 1);
    ioPosition.tick = static_cast<std::int32_t>((beats - whole) * kTicksPerBeat);
    ioPosition.bar_start_tick = double(bars) * kBeatsPerBar * kTicksPerBeat;
    ioPosition.beats_per_bar = kBeatsPerBar;
    ioPosition.beat_type = 4;
    ioPosition.ticks_per_beat = kTicksPerBeat;
    ioPosition.beats_per_minute = inBPM;
}
