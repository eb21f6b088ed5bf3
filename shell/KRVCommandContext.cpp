#include "KRVCommandContext.h"

#include <cstdint>

#include "KRVDestinations.h"
#include "KRVPlayIn.h"
#include "KRVShellInterface.h"
#include "KRVTestKeyboard.h"
#include "model/KRVSequencer.h"

KRVCommandResult KRVCommandContext::Refuse(const char* inMessage) const {
    mInterface->Write(inMessage);
    return KRVCommandResult::kFailed;
}

// Every stop says what the output could not carry, once.
void KRVCommandContext::StopPlayback() const {
    const std::uint64_t dropped = mSequencer->Stop();
    if (dropped > 0) {
        mInterface->WriteFormattedLU("krv: %lu notes dropped, the MIDI output could not keep up\n",
                                     static_cast<unsigned long>(dropped));
    }
}

// A server that quits takes every destination with it; the user hears
// silence and must learn why, once at the prompt, and again from `ports`
// and `play` (inAgain).
void KRVCommandContext::TellOutputGone(bool inAgain) {
    if (!mSequencer->IsOutputGone()) {
        // A server that came back may go again, and that is news again.
        mToldOutputGone = false;
        return;
    }
    if (mToldOutputGone && !inAgain) {
        return;
    }
    mInterface->Write("krv: the JACK server has gone, MIDI output stopped\n");
    mToldOutputGone = true;
}

void KRVCommandContext::FollowDestinations(bool inLookAnyway) const {
    if (mDestinations != nullptr) {
        mDestinations->Refresh(*mInterface, inLookAnyway);
    }
}

// Nothing reads the notes yet but what asks for them; the queue is emptied
// so that it never stays full.
void KRVCommandContext::TakeInput() {
    KRVTestKeyboard::PlayNew();
    KRVMIDIInput& input = mSequencer->GetInput();
    KRVInputMessage message;
    while (input.Pop(message)) {
    }
    if (const std::uint64_t dropped = input.TakeDroppedCount(); dropped > 0) {
        mInterface->WriteFormattedLU(
            "krv: %lu MIDI input messages dropped, more came than krv could take\n",
            static_cast<unsigned long>(dropped));
    }
}

std::string KRVCommandContext::GetMIDISystemName() const {
    return mDestinations != nullptr ? mDestinations->GetSystemName() : std::string();
}

void KRVCommandContext::ExplainSilence() const {
    if (mDestinations != nullptr && !mSequencer->IsOutputGone()) {
        mDestinations->ExplainSilence(*mInterface);
    }
}

void KRVCommandContext::FollowPlayIn() const {
    if (mPlayIn != nullptr) {
        mPlayIn->Follow();
    }
}

void KRVCommandContext::TakeSettingsOf(const KRVCommandContext& inOther) {
    mDestinations = inOther.mDestinations;
    mPlayIn = inOther.mPlayIn;
    mMigrationMode = inOther.mMigrationMode;
    mShellCommandsAllowed = inOther.mShellCommandsAllowed;
    mShellInScriptsAllowed = inOther.mShellInScriptsAllowed;
}
