#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class MIDICLAlsaOutput;

// Sends the note-offs that ports hold for a full receiver while nobody
// sends on them: after a stop the clock thread is gone, and a note-off
// refused then would otherwise wait for the next play. A thread of ours,
// started with the first port handed over, tries every port it has a
// millisecond apart, so each note-off goes within about a millisecond of
// its receiver taking events again; a port leaves the list once it holds
// nothing, or when it closes.
class MIDICLAlsaDrainer {
public:
    MIDICLAlsaDrainer() = default;
    ~MIDICLAlsaDrainer();
    MIDICLAlsaDrainer(const MIDICLAlsaDrainer&) = delete;
    MIDICLAlsaDrainer& operator=(const MIDICLAlsaDrainer&) = delete;

    // Tries inPort until it holds nothing; not for the clock thread.
    void Add(MIDICLAlsaOutput* inPort);
    // Once this returns, inPort is not tried again.
    void Remove(MIDICLAlsaOutput* inPort);

private:
    void Run();
    // One pass over the ports, under mMutex; those that hold nothing leave.
    void TryAll();

    std::mutex mMutex;
    std::condition_variable mWake;
    std::vector<MIDICLAlsaOutput*> mPorts;
    std::thread mThread;
    bool mStopping = false;
};
