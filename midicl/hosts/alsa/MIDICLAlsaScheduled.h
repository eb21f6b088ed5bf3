#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "MIDICLTypes.h"

// What a port handed the sequencer's queue to deliver later and that may not
// have gone yet, in the order it was sent: the kernel holds the events, this
// their bytes and times, so that a player that stops can take back what has
// not sounded. Fixed size, for the one thread at a time that sends on a port.
class MIDICLAlsaScheduled {
public:
    static constexpr std::size_t kCapacity = 4096;
    // Places only note-offs and the like may take, so that the note-off of
    // every note-on let in finds room.
    static constexpr std::size_t kReserve = 512;
    static constexpr std::size_t kMaxBytes = 3;

    struct Message {
        MIDICLTimeStamp mStamp = 0;
        std::size_t mLength = 0;
        std::array<std::uint8_t, kMaxBytes> mBytes{};
    };

    // What was due by inNow the kernel has delivered.
    void Forget(MIDICLTimeStamp inNow);
    bool HasRoomFor(bool inNoteOn) const;
    // False when there is no room, or the message is longer than a note.
    bool Add(MIDICLTimeStamp inStamp, const std::uint8_t* inData, std::size_t inLength);
    // Whether Withdraw would change anything: something is due after the cut,
    // or a note-on or timing clock at it.
    bool HasToWithdraw(MIDICLTimeStamp inCut) const;
    // Takes back what is due at inCut or later: note-ons and timing clocks,
    // each with the first note-off of its key sent after it. The rest is kept,
    // due at inCut now, and handed to inResend in the order it was sent.
    template <typename Resend>
    void Withdraw(MIDICLTimeStamp inCut, Resend&& inResend);

private:
    // Whether a message due after the cut is taken back; counts the note-ons
    // taken back, by channel and key, for their note-offs.
    bool TakesBack(const Message& inMessage);
    static bool IsTakenBackAlone(const Message& inMessage);

    std::array<Message, kCapacity> mMessages{};
    std::size_t mCount = 0;
    std::array<std::uint16_t, 16 * 128> mTakenBack{};
};

template <typename Resend>
void MIDICLAlsaScheduled::Withdraw(MIDICLTimeStamp inCut, Resend&& inResend) {
    mTakenBack.fill(0);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < mCount; ++i) {
        Message message = mMessages[i];
        if (message.mStamp >= inCut) {
            if (TakesBack(message)) {
                continue;
            }
            message.mStamp = inCut;
            inResend(message);
        }
        mMessages[kept++] = message;
    }
    mCount = kept;
}
