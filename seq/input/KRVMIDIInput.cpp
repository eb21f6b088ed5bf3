#include "input/KRVMIDIInput.h"

#include <thread>

#include "MIDICLClient.h"
#include "MIDICLClock.h"
#include "MIDICLInputPort.h"
#include "MIDICLMonotonicClock.h"
#include "MIDICLOutputPort.h"

KRVMIDIInput::KRVMIDIInput()
    : mClock(&MIDICLMonotonicClock::Shared()),
      mThruPort(nullptr),
      mThruChannel0(0),
      mThruHeld{},
      mThruSounding(0) {}

KRVMIDIInput::~KRVMIDIInput() {
    Close();
}

void KRVMIDIInput::Open(PortMaker inMakePort, MIDICLEndpointRef inSource) {
    Close();
    mMakePort = std::move(inMakePort);
    mSource = inSource;
    Listen();
}

bool KRVMIDIInput::HearsSource() const {
    return mPort != nullptr && mPort->IsConnectedTo(mSource);
}

void KRVMIDIInput::Listen() {
    mParser.Reset();
    std::unique_ptr<MIDICLInputPort> port = mMakePort();
    mClock = &port->GetClock();
    port->SetListener(this);
    port->SetSource(mSource);
    mPort = std::move(port);
}

void KRVMIDIInput::Close() {
    mPort.reset();
    mMakePort = nullptr;
    EndHeldNotes();
}

void KRVMIDIInput::SetThru(MIDICLOutputPort* inPort, int inChannel0) {
    Reconfigure([this, inPort, inChannel0] {
        mThruPort = inPort;
        mThruChannel0 = static_cast<std::uint8_t>(inChannel0 & 0x0F);
    });
}

void KRVMIDIInput::SetThru(MIDICLOutputPort* inPort, int inChannel0,
                           MIDICLEndpointRef inDestination) {
    Reconfigure([this, inPort, inChannel0, inDestination] {
        if (inPort != nullptr) {
            inPort->SetDestination(inDestination);
        }
        mThruPort = inPort;
        mThruChannel0 = static_cast<std::uint8_t>(inChannel0 & 0x0F);
    });
}

void KRVMIDIInput::EndThruNotes() {
    if (mThruSounding.load() != 0) {
        Reconfigure([] {});
    }
}

void KRVMIDIInput::Reconfigure(const std::function<void()>& inChange) {
    ClaimThru();
    EndHeldNotes();
    inChange();
    ReleaseThru();
}

// The host thread holds the claim for one message at most.
void KRVMIDIInput::ClaimThru() {
    while (mThruClaimed.exchange(true, std::memory_order_acquire)) {
        std::this_thread::yield();
    }
}

void KRVMIDIInput::Hear(const MIDICLPacketList* inList) {
    for (std::size_t i = 0; i < inList->GetNumPackets(); ++i) {
        const MIDICLPacket packet = inList->GetPacket(i);
        const MIDICLTimeStamp time = packet.mTimeStamp != 0 ? packet.mTimeStamp : mClock->Now();
        for (std::size_t b = 0; b < packet.mLength; ++b) {
            KRVInputMessage message;
            if (!mParser.Feed(packet.mData[b], message)) {
                continue;
            }
            message.mTime = time;
            if (KRVMIDIParser::IsClockMessage(message)) {
                if (mClockQueue != nullptr) {
                    mClockQueue->Push(message);
                }
                continue;
            }
            mQueue.Push(message);
            Thru(message);
        }
    }
}

// A note-off thru did not start is not passed on: it may belong to a note
// already ended at a stop. Every other channel message is.
void KRVMIDIInput::Thru(const KRVInputMessage& inMessage) {
    if (mThruClaimed.exchange(true, std::memory_order_acquire)) {
        return;
    }
    PassThru(inMessage);
    ReleaseThru();
}

void KRVMIDIInput::PassThru(const KRVInputMessage& inMessage) {
    if (mThruPort == nullptr) {
        return;
    }
    const std::uint8_t kind = inMessage.mBytes[0] & 0xF0;
    const std::uint8_t key = inMessage.mBytes[1];
    if (kind == MIDICLClient::kMIDINoteOnMessage) {
        if (mThruHeld[key]) {
            return;
        }
        mThruHeld[key] = mThruPort->TrySendNoteOn(mThruChannel0, key, inMessage.mBytes[2]) == 0;
        mThruSounding.fetch_add(mThruHeld[key] ? 1 : 0);
    } else if (kind == MIDICLClient::kMIDINoteOffMessage) {
        if (mThruHeld[key]) {
            mThruHeld[key] = false;
            mThruSounding.fetch_sub(1);
            mThruPort->TrySendNoteOff(mThruChannel0, key, inMessage.mBytes[2]);
        }
    } else {
        // The wheels, pedals and pressure go as played, on the thru channel.
        const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(kind | mThruChannel0),
                                       inMessage.mBytes[1], inMessage.mBytes[2]};
        mThruPort->TrySendMessage(bytes, inMessage.mLength);
    }
}

void KRVMIDIInput::EndHeldNotes() {
    mThruSounding.store(0);
    for (std::size_t key = 0; key < mThruHeld.size(); ++key) {
        if (mThruHeld[key]) {
            mThruHeld[key] = false;
            mThruPort->TrySendNoteOff(mThruChannel0, static_cast<std::uint8_t>(key), 0x40);
        }
    }
}
