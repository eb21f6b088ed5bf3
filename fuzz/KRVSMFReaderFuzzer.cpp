// libFuzzer target for the Standard MIDI File reader: any bytes must end in
// a status, within bounded time and memory, and a file that reads keeps no
// more notes than it was asked for, and only tempos that mean something.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "smf/KRVSMFReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* inData, std::size_t inSize) {
    constexpr std::size_t kMaxNotes = 16;
    KRVSMFReader reader(kMaxNotes);
    int status = reader.Parse(inData, inSize);
    if (status > 0 || (status != 0 && reader.GetTrackCount() != 0)) {
        std::abort();
    }
    for (int track0 = 0; track0 < reader.GetTrackCount(); track0++) {
        const auto& notes = reader.GetNotes(track0);
        if (notes.size() > kMaxNotes) {
            std::abort();
        }
        for (const KRVSMFNote& note : notes) {
            if (note.mChannel > 15 || note.mNote > 127 || note.mVelocity == 0 ||
                note.mVelocity > 127) {
                std::abort();
            }
        }
    }
    if (reader.HasTempo() && !(reader.GetBPM() > 0.0)) {
        std::abort();
    }
    // Every tempo kept gives a quarter note some length.
    if (reader.GetTempos().size() > KRVSMFReader::kMaxTempos ||
        reader.HasTempo() != !reader.GetTempos().empty()) {
        std::abort();
    }
    for (const KRVSMFTempo& tempo : reader.GetTempos()) {
        if (tempo.mMicrosecondsPerQuarterNote == 0) {
            std::abort();
        }
    }
    return 0;
}
