#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/KRVPortTiming.h"
#include "model/KRVPrograms.h"

// Everything a command can change in a sequencer, held so that it can be put
// back (undo) or compared (unsaved changes): each track's 64 events with
// their marks and the track's mute, the grid and loop, the steps in vertical
// solo, the tempo, the channel names, programs, and which ports send clock
// with what latency. Ports, the clock's position and what is sounding are not
// part of it.
//
// Track images and the names are never changed once made, so states share
// them: a state captured next to another takes over the images of the tracks
// that are unchanged, and a command that edits one track costs one image.
class KRVSequencerState {
public:
    // One event in eight bytes.
    struct PackedEvent {
        std::uint8_t mNote = 0;
        std::uint8_t mVelocity = 0;
        std::uint8_t mGateTime = 0;
        std::uint8_t mPort = 0;
        // The channel (0 to 15) in the low four bits, the marks above it.
        std::uint8_t mChannelAndMarks = 0;
        std::uint8_t mChance = 0;
        // The ratchet (1 to 8) in the low bits, the tie (kTied) above.
        std::uint8_t mRatchetAndTie = 0;
        std::uint8_t mLength = 0;
        bool operator==(const PackedEvent&) const = default;
    };
    static constexpr std::uint8_t kMuted = 0x10;
    static constexpr std::uint8_t kHSoloed = 0x20;
    static constexpr std::uint8_t kVSoloed = 0x40;
    static constexpr std::uint8_t kSelected = 0x80;
    static constexpr std::uint8_t kTied = 0x80;

    struct TrackImage {
        std::array<PackedEvent, 64> mEvents;
        bool mMuted = false;
        std::uint8_t mSwing = 0;
        bool mLegato = false;
        // How many states of an undo history hold the image: its memory
        // counts once, whoever shares it (command thread only).
        mutable int mHolders = 0;
        bool operator==(const TrackImage& inOther) const {
            return mEvents == inOther.mEvents && mMuted == inOther.mMuted &&
                   mSwing == inOther.mSwing && mLegato == inOther.mLegato;
        }
    };
    using ChannelNames = std::map<std::pair<int, int>, std::string>;

    // What save writes: tracks, marks, selection, grid, loop and tempo.
    bool HasSameSequence(const KRVSequencerState& inOther) const;
    // What saveconfig writes besides the programs: channel names.
    bool HasSameChannelNames(const KRVSequencerState& inOther) const;
    // What save and saveconfig both write: programs, clock and latency.
    bool HasSamePrograms(const KRVSequencerState& inOther) const;
    bool operator==(const KRVSequencerState& inOther) const {
        return HasSameSequence(inOther) && HasSameChannelNames(inOther) && HasSamePrograms(inOther);
    }

    // Memory, for the undo history's bound: a track image or the names as
    // held once however many states share them, and what each state holds
    // alone. Allocation overheads are counted at a generous estimate.
    static std::size_t GetImageBytes();
    std::size_t GetNamesBytes() const;
    std::size_t GetProgramsBytes() const;
    std::size_t GetOwnBytes() const;

    std::vector<std::shared_ptr<const TrackImage>> mTracks;
    // Never null in a captured state.
    std::shared_ptr<const ChannelNames> mChannelNames;
    // Never null in a captured state; shared as the names are.
    std::shared_ptr<const KRVPrograms> mPrograms;
    KRVPortTiming mPortTiming;
    int mTicksInSequence = 0;
    int mTicksPerStep = 0;
    int mTicksInLoop = 0;
    // Bit n: step n + 1 plays its v-soloed event only.
    std::uint64_t mVSoloedSteps = 0;
    double mBPM = 0.0;
    int mSwing = 0;
};
