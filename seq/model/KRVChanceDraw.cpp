#include "model/KRVChanceDraw.h"

namespace {
// The seeding's linear congruential generator: a word times 16807 modulo
// 2^31 - 1, as the C library fills its table.
constexpr std::int64_t kModulus = 2147483647;
constexpr std::int64_t kMultiplier = 16807;
// Words the C library draws and drops after seeding, before the first it
// hands out.
constexpr int kWarmUp = 310;

// The seed an unseeded rand() starts from.
constexpr std::int64_t kSeed = 1;
}  // namespace

void KRVChanceDraw::Seed() {
    std::int64_t word = kSeed;
    mWords[0] = static_cast<std::uint32_t>(word);
    for (int index = 1; index < kLength; index++) {
        word = kMultiplier * word % kModulus;
        mWords[index] = static_cast<std::uint32_t>(word);
    }
    mIndex = kLag;
    for (int drop = 0; drop < kWarmUp; drop++) {
        Next();
    }
}

// Each new word is the sum of the words 31 and 3 places back; the lowest
// bit, the weakest, is dropped from what is handed out.
int KRVChanceDraw::Next() {
    const int lagged = (mIndex + kLength - kLag) % kLength;
    mWords[mIndex] += mWords[lagged];
    const std::uint32_t word = mWords[mIndex];
    mIndex = (mIndex + 1) % kLength;
    return static_cast<int>(word >> 1);
}

bool KRVChanceDraw::Plays(int inChancePercent) {
    if (inChancePercent >= 100) {
        return true;
    }
    if (inChancePercent <= 0) {
        return false;
    }
    return Next() % 100 < inChancePercent;
}
