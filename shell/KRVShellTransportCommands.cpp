// play, pause, stop, reset and bpm.
#include "KRVSequencer.h"
#include "KRVShell.h"
#include "KRVShellInterface.h"
#include "KRVWords.h"

int KRVShell::Play(KRVShell* inShell) {
    inShell->TellOutputGone(true);
    int error = inShell->mSequencer->Play();
    if (error != 0) {
        inShell->mInterface->WriteFormattedD("KRVSequencer: PrimeTimeTask returned error %d \n",
                                             error);
    }
    return 0;
}

// The position is kept, but the next play starts from the top anyway.
int KRVShell::Pause(KRVShell* inShell) {
    inShell->StopPlayback();
    return 0;
}

int KRVShell::Stop(KRVShell* inShell) {
    inShell->StopPlayback();
    inShell->mSequencer->Reset();
    return 0;
}

int KRVShell::Reset(KRVShell* inShell) {
    inShell->mSequencer->Reset();
    return 0;
}

// The tempo is read in single precision, so 99.9 is set (and saved) as
// 99.900002. A tempo that gives no usable clock (0, negative, not a number,
// or above 25,000) is refused, judged before the rounding so that 25000.001
// does not slip through as 25000.
int KRVShell::BPM(KRVShell* inShell) {
    KRVShellInterface* out = inShell->mInterface;
    if (!inShell->NeedParams(1, "need bpm param\n")) {
        return 0;
    }
    double typed = KRVReadDouble(inShell->GetParam(1));
    // Checked first: a double beyond float's range has no float value.
    bool usable = KRVSequencer::IsUsableBPM(typed);
    float bpm = usable ? static_cast<float>(typed) : 0.0f;
    if (!usable || !inShell->mSequencer->SetBPM(bpm)) {
        out->WriteFormattedS("%s: having trouble parsing bpm\n", inShell->GetParam(1));
    }
    return 0;
}

// Every stop says what the output could not carry, once.
void KRVShell::StopPlayback() {
    const std::uint64_t dropped = mSequencer->Stop();
    if (dropped > 0) {
        mInterface->WriteFormattedLU("krv: %lu notes dropped, the MIDI output could not keep up\n",
                                     static_cast<unsigned long>(dropped));
    }
}
