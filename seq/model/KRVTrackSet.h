#pragma once

#include <array>
#include <bit>
#include <cstdint>

// A set of 0-based track numbers below kSize, one bit each: adding,
// removing and finding the next member cost a few instructions and no
// allocation, and the numbers move when a track is inserted or deleted
// before them, as the tracks' own numbers do.
class KRVTrackSet {
public:
    static constexpr int kSize = 1024;

    bool Contains(int inTrack0) const { return (mWords[inTrack0 / 64] >> (inTrack0 % 64)) & 1; }
    void Insert(int inTrack0) {
        mWords[inTrack0 / 64] |= Bit(inTrack0);
        mUsedWords |= Bit(inTrack0 / 64);
    }
    void Erase(int inTrack0) {
        mWords[inTrack0 / 64] &= ~Bit(inTrack0);
        if (mWords[inTrack0 / 64] == 0) {
            mUsedWords &= ~Bit(inTrack0 / 64);
        }
    }
    void Clear() {
        mWords.fill(0);
        mUsedWords = 0;
    }

    // The first member at or after inFrom0, or -1 when there is none.
    int NextFrom(int inFrom0) const {
        if (inFrom0 < 0) {
            inFrom0 = 0;
        }
        if (inFrom0 >= kSize) {
            return -1;
        }
        int word = inFrom0 / 64;
        std::uint64_t bits = mWords[word] & (~std::uint64_t(0) << (inFrom0 % 64));
        if (bits == 0) {
            // The next word that has a member at all, if any.
            const std::uint64_t later = word + 1 < kWords ? mUsedWords >> (word + 1) : 0;
            if (later == 0) {
                return -1;
            }
            word += 1 + std::countr_zero(later);
            bits = mWords[word];
        }
        return word * 64 + std::countr_zero(bits);
    }

    // A track inserted at inTrack0: the members from it on move up by one
    // (one at kSize - 1 falls off).
    void OpenAt(int inTrack0) {
        const int first = inTrack0 / 64;
        for (int word = kWords - 1; word > first; word--) {
            mWords[word] = (mWords[word] << 1) | (mWords[word - 1] >> 63);
        }
        const std::uint64_t below = mWords[first] & BitsBelow(inTrack0 % 64);
        mWords[first] = below | ((mWords[first] & ~below) << 1);
        CountUsedWords();
    }

    // The track at inTrack0 deleted: it leaves the set, and the members
    // after it move down by one.
    void CloseAt(int inTrack0) {
        const int first = inTrack0 / 64;
        const int bit = inTrack0 % 64;
        const std::uint64_t below = mWords[first] & BitsBelow(bit);
        const std::uint64_t above = bit == 63 ? 0 : (mWords[first] >> (bit + 1)) << bit;
        mWords[first] = below | above | CarryDown(first + 1);
        for (int word = first + 1; word < kWords; word++) {
            mWords[word] = (mWords[word] >> 1) | CarryDown(word + 1);
        }
        CountUsedWords();
    }

private:
    static constexpr int kWords = kSize / 64;

    static std::uint64_t Bit(int inTrack0) { return std::uint64_t(1) << (inTrack0 % 64); }
    static std::uint64_t BitsBelow(int inBit) {
        return inBit == 0 ? 0 : ~std::uint64_t(0) >> (64 - inBit);
    }
    void CountUsedWords() {
        mUsedWords = 0;
        for (int word = 0; word < kWords; word++) {
            mUsedWords |= mWords[word] != 0 ? Bit(word) : 0;
        }
    }
    // The lowest bit of word inWord, as the top bit of the word below it.
    std::uint64_t CarryDown(int inWord) const {
        return inWord < kWords ? (mWords[inWord] & 1) << 63 : 0;
    }

    std::array<std::uint64_t, kWords> mWords{};
    // Bit w is set when word w has a member.
    std::uint64_t mUsedWords = 0;
};
