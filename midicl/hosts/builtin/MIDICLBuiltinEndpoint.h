#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "MIDICLPacketList.h"
#include "hosts/MIDICLReadProc.h"

// An in-process endpoint. Senders deliver straight into its read procedure on
// their own thread; Close waits for deliveries in progress, so that once it
// returns the owner of the read procedure may go away. Sending takes no lock:
// a delivery only counts itself in and out.
class MIDICLBuiltinEndpoint {
public:
    MIDICLBuiltinEndpoint(std::uint64_t inId, const std::string& inName, MIDICLReadProc inReadProc,
                          void* inRefCon);

    MIDICLBuiltinEndpoint(const MIDICLBuiltinEndpoint&) = delete;
    MIDICLBuiltinEndpoint& operator=(const MIDICLBuiltinEndpoint&) = delete;

    std::uint64_t GetId() const { return mId; }
    const std::string& GetName() const { return mName; }

    // The source an input port listens to (0: none).
    void SetSource(std::uint64_t inSource) { mSource.store(inSource); }
    std::uint64_t GetSource() const { return mSource.load(); }

    void Deliver(const MIDICLPacketList& inList);
    void Close();

private:
    const std::uint64_t mId;
    const std::string mName;
    std::atomic<MIDICLReadProc> mReadProc;
    void* const mRefCon;
    std::atomic<int> mDeliveries;
    std::atomic<std::uint64_t> mSource{0};
};
