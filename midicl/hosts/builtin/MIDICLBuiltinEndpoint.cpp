#include "hosts/builtin/MIDICLBuiltinEndpoint.h"

#include <thread>

MIDICLBuiltinEndpoint::MIDICLBuiltinEndpoint(std::uint64_t inId, const std::string& inName,
                                             MIDICLReadProc inReadProc, void* inRefCon)
    : mId(inId), mName(inName), mReadProc(inReadProc), mRefCon(inRefCon), mDeliveries(0) {}

// Sequentially consistent on purpose: either Close sees this delivery counted
// and waits for it, or this delivery sees the read procedure already gone.
void MIDICLBuiltinEndpoint::Deliver(const MIDICLPacketList& inList) {
    mDeliveries.fetch_add(1);
    const MIDICLReadProc readProc = mReadProc.load();
    if (readProc != nullptr) {
        readProc(inList, mRefCon);
    }
    mDeliveries.fetch_sub(1);
}

void MIDICLBuiltinEndpoint::Close() {
    mReadProc.store(nullptr);
    while (mDeliveries.load() != 0) {
        std::this_thread::yield();
    }
}
