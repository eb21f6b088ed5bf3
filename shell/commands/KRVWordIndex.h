#ifndef KRV_WORD_INDEX_H
#define KRV_WORD_INDEX_H

#include <array>
#include <cstdint>
#include <string_view>

// The command words, found by a hash into a table of 512 places, the next
// free place taken where two words meet. Every line of a script is looked
// up twice (checked before anything is deleted, then run), and a load of
// 1,024 tracks of 64 steps spent a quarter of its time in std::unordered_map
// (its general hash, the division by a prime, a node per word); here a
// lookup is a few multiplications and one comparison.
template <typename Value>
class KRVWordIndex {
public:
    // The first word put in keeps its place: a later one is not put in.
    void Put(std::string_view inWord, Value inValue) {
        std::size_t at = Hash(inWord);
        while (mSlots[at].mValue != Value() && mSlots[at].mWord != inWord) {
            at = (at + 1) % kSlots;
        }
        if (mSlots[at].mValue == Value()) {
            mSlots[at] = {inWord, inValue};
        }
    }

    // The word's value, or Value() when the word was never put in.
    Value Find(std::string_view inWord) const {
        for (std::size_t at = Hash(inWord);; at = (at + 1) % kSlots) {
            const Slot& slot = mSlots[at];
            if (slot.mValue == Value() || slot.mWord == inWord) {
                return slot.mValue;
            }
        }
    }

private:
    // Room for every word with most places free, so that a search ends soon.
    static constexpr int kSlotBits = 9;
    static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;

    struct Slot {
        std::string_view mWord;
        Value mValue{};
    };

    // The length and three letters (first, middle, last) tell the command
    // words apart well enough for a table this sparse, at a fraction of the
    // cost of a hash over every letter.
    static std::size_t Hash(std::string_view inWord) {
        if (inWord.empty()) {
            return 0;
        }
        const std::size_t length = inWord.size();
        std::uint32_t hash = static_cast<std::uint32_t>(length);
        hash = hash * 33 + static_cast<unsigned char>(inWord[0]);
        hash = hash * 33 + static_cast<unsigned char>(inWord[length / 2]);
        hash = hash * 33 + static_cast<unsigned char>(inWord[length - 1]);
        // Fibonacci hashing: the top bits of the product are the best mixed.
        return (hash * 2654435769u) >> (32 - kSlotBits);
    }

    std::array<Slot, kSlots> mSlots{};
};

#endif  // KRV_WORD_INDEX_H
