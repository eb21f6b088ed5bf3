#pragma once

#include <bit>
#include <cstdint>
#include <memory>

#include "model/KRVEvent.h"
#include "model/KRVRelaxed.h"
#include "model/KRVSequencerState.h"

// One row of the grid: always 64 events, whatever the sequence's step count,
// so steps that fall out of view keep their values and come back unchanged.
// Steps are 1-based at this interface.
class KRVTrack {
public:
    static constexpr int kMaxSteps = 64;

    KRVTrack() = default;
    KRVTrack(const KRVTrack& inTrack);
    KRVTrack& operator=(const KRVTrack& inTrack);

    // No range check: callers pass 1 to 64.
    KRVEvent& GetEvent(int inStep) { return mEvents[inStep - 1]; }
    const KRVEvent& GetEvent(int inStep) const { return mEvents[inStep - 1]; }

    int GetHSoloCount() const { return mHSoloCount; }
    // Selected events, seen or beyond the step count.
    int GetSelectedCount() const { return std::popcount(mSelectedSteps); }
    // The selected steps as bits, step 1 in bit 0: what a walk over the
    // selection visits, without reading all 64 events.
    std::uint64_t GetSelectedSteps() const { return mSelectedSteps; }
    bool IsMuted() const { return mMuted; }
    // The track's own swing in percent, 0 when it plays the sequence's.
    int GetOwnSwing() const { return mSwing; }
    // Whether each note's gate reaches the next note the track plays.
    bool IsLegato() const { return mLegato; }

    void Mute() { mMuted = true; }
    void UnMute() { mMuted = false; }
    void Mute(int inStep) { GetEvent(inStep).mMuted = true; }
    void UnMute(int inStep) { GetEvent(inStep).mMuted = false; }

    // Both keep the h-solo count equal to the number of h-soloed events,
    // which playback reads as "this track is in horizontal-solo mode".
    void HSolo(int inStep);
    void HUnSolo(int inStep);

private:
    friend class KRVSequencer;

    // Marks or unmarks an event as selected, keeping the selected steps.
    // Only the sequencer selects, so that its index of the tracks that hold
    // a selection stays true (KRVSequencer::RebuildSelectionIndex).
    void SetSelected(int inStep, bool inSelected);
    // Reads the selected steps afresh from the events' marks.
    void RecountSelected();

    KRVRelaxed<bool> mMuted;
    KRVRelaxed<std::uint8_t> mSwing{0};
    KRVRelaxed<bool> mLegato{false};
    KRVRelaxed<int> mHSoloCount{0};
    // Only the command thread selects, so plain bits will do.
    std::uint64_t mSelectedSteps = 0;
    KRVEvent mEvents[kMaxSteps];
    // The step (0-based) whose note is sounding, or -1. A track sounds at most
    // one note at a time. Only the playback tick and holders of the
    // sequencer's busy flag touch it; copies start silent.
    int mSoundingStep0 = -1;
    // Whether this pass plays the step under the clock, as its chance was
    // drawn on the step's first tick; its later repeats follow that draw.
    // The playback tick's alone, like the sounding step.
    bool mStepDrawn = false;
    // A note held over several steps: how many steps after the one playing
    // it still covers, and the step it covers now (-1 for none). The
    // playback tick's alone.
    int mCoverLeft = 0;
    int mCoveredStep0 = -1;
    // Whether the held note is held by ties, and so ends at the gate of the
    // last step it covers rather than its own.
    bool mTiedOver = false;
    // On a legato track: the sounding note is past its gate and sounds on
    // until the track's next note-on (or the place where one would have
    // come). The playback tick's alone.
    bool mLegatoHeld = false;
    // Counts the changes the sequencer told of, so that the image of the
    // track's last capture (or restore) serves again while the count stays:
    // capturing 1,024 unchanged tracks costs no packing. Command thread
    // only; copies start without an image.
    std::uint64_t mEdits = 0;
    mutable std::shared_ptr<const KRVSequencerState::TrackImage> mImage;
    mutable std::uint64_t mImageEdits = 0;
};
