#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The program each channel of each port plays, and which of them the clock
// has yet to send. Programs are 0-based here, as on the wire (the shell
// shows them from 1). Not locked: the sequencer holds its busy flag around
// every use, since its clock sends what is pending.
class KRVPrograms {
public:
    static constexpr int kNone = -1;
    static constexpr int kChannels = 16;

    // inChannel0 from 0 to 15; inProgram0 from 0 to 127, or kNone. A
    // program set is pending until sent.
    void Set(int inPort, int inChannel0, int inProgram0);
    int Get(int inPort, int inChannel0) const;
    void Clear() { mPorts.clear(); }
    // The same programs set, whatever is pending.
    bool HasSamePrograms(const KRVPrograms& inOther) const;
    std::size_t GetBytes() const { return mPorts.capacity() * sizeof(mPorts[0]); }
    // Every program set becomes pending, as when playback starts.
    void MarkAllPending();
    // The same for one port's programs, as when it is connected anew; false
    // when it has none.
    bool MarkPortPending(int inPort);
    // Calls inSend(port, channel0, program0) for each pending program; one
    // it returns true for is no longer pending (false: try again later).
    template <typename Send>
    void SendPending(Send inSend);
    // Every program set, by port and channel: (port, channel0, program0).
    template <typename Visit>
    void ForEach(Visit inVisit) const;

private:
    struct Entry {
        std::int8_t mProgram0 = kNone;
        bool mPending = false;
    };
    std::vector<std::array<Entry, kChannels>> mPorts;
    bool mAnyPending = false;
};

template <typename Send>
void KRVPrograms::SendPending(Send inSend) {
    if (!mAnyPending) {
        return;
    }
    mAnyPending = false;
    for (std::size_t port = 0; port < mPorts.size(); ++port) {
        for (int channel0 = 0; channel0 < kChannels; ++channel0) {
            Entry& entry = mPorts[port][channel0];
            if (entry.mPending && entry.mProgram0 != kNone) {
                entry.mPending = !inSend(static_cast<int>(port), channel0, entry.mProgram0);
                mAnyPending = mAnyPending || entry.mPending;
            }
        }
    }
}

template <typename Visit>
void KRVPrograms::ForEach(Visit inVisit) const {
    for (std::size_t port = 0; port < mPorts.size(); ++port) {
        for (int channel0 = 0; channel0 < kChannels; ++channel0) {
            if (mPorts[port][channel0].mProgram0 != kNone) {
                inVisit(static_cast<int>(port), channel0, mPorts[port][channel0].mProgram0);
            }
        }
    }
}
