#include "smf/KRVSMFTimeMap.h"

#include <algorithm>

#include "model/KRVSequencer.h"
#include "smf/KRVSMFReader.h"

namespace {
constexpr std::uint16_t kSMPTEDivision = 0x8000;
// A file that says 29 frames a second means the 29.97 of drop-frame code.
constexpr int kDropFrameRate = 29;
constexpr double kDropFrameSeconds = 29.97;
}  // namespace

KRVSMFTimeMap::KRVSMFTimeMap(const KRVSMFReader& inReader, double inSequencerBPM)
    : mReferenceBPM(inReader.HasTempo() ? inReader.GetBPM() : inSequencerBPM),
      mReferenceMicroseconds(inReader.HasTempo() ? inReader.GetFirstMicroseconds()
                                                 : 60000000.0 / inSequencerBPM) {
    const std::uint16_t division = inReader.GetDivision();
    const double ticksPerSecondAtReference =
        KRVSequencer::kTicksPerQuarterNote * 1000000.0 / mReferenceMicroseconds;
    if ((division & kSMPTEDivision) == 0) {
        mUsable = division != 0;
        AddQuarterNoteSegments(inReader, mUsable ? inReader.GetQuarterNoteTicks() : 1);
        return;
    }
    const int frameRate = -static_cast<std::int8_t>(division >> 8);
    const int ticksPerFrame = division & 0xFF;
    mUsable = frameRate > 0 && ticksPerFrame > 0;
    const double frames = frameRate == kDropFrameRate ? kDropFrameSeconds : frameRate;
    const double fileTicksPerSecond = mUsable ? frames * ticksPerFrame : 1.0;
    mSegments.push_back({0, 0.0, ticksPerSecondAtReference / fileTicksPerSecond});
}

// Before its first tempo event a file plays at the reference tempo, which
// is that event's own when the file has one.
void KRVSMFTimeMap::AddQuarterNoteSegments(const KRVSMFReader& inReader,
                                           double inTicksPerQuarterNote) {
    const double ticksPerFileTick = KRVSequencer::kTicksPerQuarterNote / inTicksPerQuarterNote;
    std::vector<KRVSMFTempo> tempos = inReader.GetTempos();
    // Tempo maps of several tracks merge; at one tick the first in the file
    // holds, as it does for the tempo an import gives the sequence.
    std::stable_sort(
        tempos.begin(), tempos.end(),
        [](const KRVSMFTempo& inA, const KRVSMFTempo& inB) { return inA.mTick < inB.mTick; });
    tempos.erase(std::unique(tempos.begin(), tempos.end(),
                             [](const KRVSMFTempo& inA, const KRVSMFTempo& inB) {
                                 return inA.mTick == inB.mTick;
                             }),
                 tempos.end());
    mSegments.push_back({0, 0.0, ticksPerFileTick});
    for (const KRVSMFTempo& tempo : tempos) {
        Segment& last = mSegments.back();
        const double scale =
            ticksPerFileTick * tempo.mMicrosecondsPerQuarterNote / mReferenceMicroseconds;
        if (tempo.mTick == last.mFileTick) {
            last.mScale = scale;
            continue;
        }
        const double start =
            last.mSequencerTick + static_cast<double>(tempo.mTick - last.mFileTick) * last.mScale;
        mSegments.push_back({tempo.mTick, start, scale});
    }
}

double KRVSMFTimeMap::ToSequencerTicks(std::uint64_t inFileTick) const {
    auto after = std::upper_bound(mSegments.begin(), mSegments.end(), inFileTick,
                                  [](std::uint64_t inTick, const Segment& inSegment) {
                                      return inTick < inSegment.mFileTick;
                                  });
    const Segment& segment = *(after - 1);
    return segment.mSequencerTick +
           static_cast<double>(inFileTick - segment.mFileTick) * segment.mScale;
}
