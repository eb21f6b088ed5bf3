#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/KRVRelaxed.h"

// One step of one track: the musical content (channel, gate, note, port,
// velocity, and how it plays: its chance, ratchet, length and tie), the marks the user put on the
// step (selection, mute, solos) and the record of a sounding note.
//
// Copies carry the content only. Copy construction gives a fresh event with
// no marks; assignment replaces the content and keeps the target's marks and
// playing record, so content can move between steps while the marks stay put.
//
// Fields are relaxed atomics because the playback thread reads them while the
// command thread edits them.
class KRVEvent {
public:
    KRVEvent() = default;
    KRVEvent(const KRVEvent& inEvent);
    KRVEvent& operator=(const KRVEvent& inEvent);

    bool IsHSoloed() const { return mHSoloed; }
    bool IsMuted() const { return mMuted; }
    bool IsSelected() const { return mSelected; }
    bool IsVSoloed() const { return mVSoloed; }
    bool IsNoteOn() const { return mIsNoteOn; }

    // Channels are 1-based here (1 to 16); the event stores them 0-based.
    std::uint8_t GetChannel() const { return mChannel + 1; }
    std::uint8_t GetGateTime() const { return mGateTime; }
    std::uint8_t GetNote() const { return mNote; }
    std::uint8_t GetPort() const { return mPort; }
    std::uint8_t GetVelocity() const { return mVelocity; }
    // The percent chance (0 to 100) that a pass of the loop plays the step.
    std::uint8_t GetChance() const { return mChance; }
    // How many times the note is played within its step (1 to 8).
    std::uint8_t GetRatchet() const { return mRatchet; }
    // How many steps the note holds for (1 to 64), its gate a share of the
    // last of them.
    std::uint8_t GetLength() const { return mLength; }
    // Whether the note holds over into the next step when that one holds
    // the same note (KRVSequencer::TiedSteps).
    bool IsTied() const { return mTied; }

    static constexpr std::uint8_t kAlwaysPlays = 100;
    static constexpr std::uint8_t kMaxRatchet = 8;

    // "C4" for 60, "C-1" for 0; sharps only.
    static std::string FormatNoteNumber(unsigned char inNote);
    // Reads a leading note name and octave: a letter A to G in either case,
    // a sharp (#) or flat (b) if any, then the octave as strtol reads it (none
    // is octave 0). "Db3" and "c#3" are 49, "B#3" is 60 and "Cb4" 59. No
    // range check, so the result may be negative or above 127. Text that
    // starts with no note name gives 0; IsNoteName tells it apart.
    static int ParseNoteNumber(std::string inNoteName);
    static bool IsNoteName(std::string_view inText);

    static const char* const sNoteNames[12];

private:
    // The pitch of the note name at the start of inText, in semitones from
    // the C of its octave (-1 for Cb, 12 for B#), and the characters it takes;
    // false when there is none.
    static bool ReadPitch(std::string_view inText, int* outPitch, size_t* outLength);

    friend class KRVTrack;
    friend class KRVSequencer;
    friend class KRVSequencerSMF;
    friend class KRVSMFTimedLayout;

    void CopyContent(const KRVEvent& inEvent);

    KRVRelaxed<bool> mIsNoteOn;
    KRVRelaxed<bool> mHSoloed;
    KRVRelaxed<bool> mMuted;
    KRVRelaxed<bool> mSelected;
    KRVRelaxed<bool> mVSoloed;
    KRVRelaxed<std::uint8_t> mChannel{0};
    KRVRelaxed<std::uint8_t> mChannelPlaying{0};
    KRVRelaxed<std::uint8_t> mGateTime{50};
    KRVRelaxed<std::uint8_t> mNote{0};
    KRVRelaxed<std::uint8_t> mNotePlaying{0};
    KRVRelaxed<std::uint8_t> mPort{0};
    KRVRelaxed<std::uint8_t> mPortPlaying{0};
    KRVRelaxed<std::uint8_t> mVelocity{64};
    KRVRelaxed<std::uint8_t> mChance{kAlwaysPlays};
    KRVRelaxed<std::uint8_t> mRatchet{1};
    KRVRelaxed<std::uint8_t> mLength{1};
    KRVRelaxed<bool> mTied;
};
