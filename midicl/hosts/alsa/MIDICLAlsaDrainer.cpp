#include "hosts/alsa/MIDICLAlsaDrainer.h"

#include <algorithm>
#include <chrono>

#include "hosts/MIDICLSignalBlock.h"
#include "hosts/alsa/MIDICLAlsaOutput.h"

namespace {

// How soon a receiver's room is noticed: ALSA says nothing when a full
// receiver takes events again, so it is asked this often.
constexpr auto kRetryInterval = std::chrono::milliseconds(1);

}  // namespace

MIDICLAlsaDrainer::~MIDICLAlsaDrainer() {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStopping = true;
    }
    mWake.notify_all();
    if (mThread.joinable()) {
        mThread.join();
    }
}

void MIDICLAlsaDrainer::Add(MIDICLAlsaOutput* inPort) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (std::find(mPorts.begin(), mPorts.end(), inPort) == mPorts.end()) {
            mPorts.push_back(inPort);
        }
        if (!mThread.joinable()) {
            // The application's signals are for its own threads.
            MIDICLSignalBlock block;
            mThread = std::thread(&MIDICLAlsaDrainer::Run, this);
        }
    }
    mWake.notify_all();
}

void MIDICLAlsaDrainer::Remove(MIDICLAlsaOutput* inPort) {
    std::lock_guard<std::mutex> lock(mMutex);
    mPorts.erase(std::remove(mPorts.begin(), mPorts.end(), inPort), mPorts.end());
}

void MIDICLAlsaDrainer::Run() {
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mStopping) {
        if (mPorts.empty()) {
            mWake.wait(lock, [this] { return mStopping || !mPorts.empty(); });
            continue;
        }
        TryAll();
        mWake.wait_for(lock, kRetryInterval, [this] { return mStopping; });
    }
}

void MIDICLAlsaDrainer::TryAll() {
    mPorts.erase(std::remove_if(mPorts.begin(), mPorts.end(),
                                [](MIDICLAlsaOutput* inPort) { return inPort->SendHeldNow(); }),
                 mPorts.end());
}
