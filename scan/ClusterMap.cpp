#include "scan/ClusterMap.h"

#include <algorithm>
#include <new>

namespace undelete {

namespace {

uint64_t popcount(uint64_t v) { return static_cast<uint64_t>(__builtin_popcountll(v)); }
// Index of the lowest set bit; v must not be 0.
uint64_t lowestBit(uint64_t v) { return static_cast<uint64_t>(__builtin_ctzll(v)); }

}  // namespace

bool ClusterMap::reset(uint64_t limit, uint64_t firstData) {
    limit_ = 0;
    try {
        words_.assign(static_cast<size_t>((limit + 63) / 64), 0);
        freeBeforeBlock_.clear();
    } catch (const std::bad_alloc&) {
        words_.clear();
        return false;
    }
    limit_ = limit;
    // Bits past the limit in the last word are set: they are never free.
    for (uint64_t c = limit; c < words_.size() * 64ull; ++c) words_[c / 64] |= 1ull << (c % 64);
    for (uint64_t c = 0; c < firstData && c < limit; ++c) setUsed(c);
    return true;
}

void ClusterMap::setUsed(uint64_t cluster) {
    if (cluster < limit_) words_[cluster / 64] |= 1ull << (cluster % 64);
}

void ClusterMap::setUsedBits(uint64_t first, const uint8_t* bits, size_t count) {
    size_t byte = 0;
    // Whole bytes that fall on a byte of the map are laid in at once (NTFS's
    // bitmap counts from cluster 0).
    if (first % 8 == 0) {
        for (; (byte + 1) * 8 <= count && first + (byte + 1) * 8 <= limit_; ++byte) {
            const uint64_t at = first + byte * 8;
            words_[at / 64] |= uint64_t{bits[byte]} << (at % 64);
        }
    }
    for (; byte * 8 < count; ++byte) {
        if (bits[byte] == 0) continue;
        for (uint32_t bit = 0; bit < 8 && byte * 8 + bit < count; ++bit) {
            if ((bits[byte] >> bit) & 1) setUsed(first + byte * 8 + bit);
        }
    }
}

void ClusterMap::finish() {
    const size_t blocks = (words_.size() + kBlockWords - 1) / kBlockWords;
    try {
        freeBeforeBlock_.assign(blocks + 1, 0);
    } catch (const std::bad_alloc&) {
        freeBeforeBlock_.clear();  // counts fall back to walking the words
        return;
    }
    for (size_t b = 0; b < blocks; ++b) {
        const size_t end = std::min(words_.size(), (b + 1) * size_t{kBlockWords});
        freeBeforeBlock_[b + 1] = freeBeforeBlock_[b] + freeInWords(b * kBlockWords, end);
    }
}

bool ClusterMap::used(uint64_t cluster) const {
    return cluster >= limit_ || ((words_[cluster / 64] >> (cluster % 64)) & 1) != 0;
}

uint64_t ClusterMap::freeInWords(size_t firstWord, size_t endWord) const {
    uint64_t n = 0;
    for (size_t w = firstWord; w < endWord; ++w) n += 64 - popcount(words_[w]);
    return n;
}

uint64_t ClusterMap::freeBefore(uint64_t cluster) const {
    if (cluster > limit_) cluster = limit_;
    const size_t word = static_cast<size_t>(cluster / 64);
    size_t fromWord = 0;
    uint64_t n = 0;
    if (!freeBeforeBlock_.empty()) {
        fromWord = word / kBlockWords * kBlockWords;
        n = freeBeforeBlock_[word / kBlockWords];
    }
    n += freeInWords(fromWord, word);
    const uint64_t bits = cluster % 64;
    if (bits != 0) n += bits - popcount(words_[word] & ((1ull << bits) - 1));
    return n;
}

uint64_t ClusterMap::freeBetween(uint64_t from, uint64_t to) const {
    if (to > limit_) to = limit_;
    if (from >= to) return 0;
    return freeBefore(to) - freeBefore(from);
}

uint64_t ClusterMap::usedIn(uint64_t first, uint64_t count) const {
    const uint64_t end = count > UINT64_MAX - first ? UINT64_MAX : first + count;
    return (end - first) - freeBetween(first, end);
}

uint64_t ClusterMap::nextUsed(uint64_t from, uint64_t before) const {
    const uint64_t end = std::min(before, limit_);
    for (uint64_t c = from; c < end;) {
        const uint64_t bits = words_[c / 64] >> (c % 64);
        if (bits != 0) return std::min(c + lowestBit(bits), end);
        c = (c / 64 + 1) * 64;
    }
    return end;
}

uint64_t ClusterMap::nextFree(uint64_t from) const {
    for (uint64_t c = from; c < limit_;) {
        const uint64_t bits = ~words_[c / 64] >> (c % 64);
        if (bits != 0) return std::min(c + lowestBit(bits), limit_);
        c = (c / 64 + 1) * 64;
    }
    return limit_;
}

bool MapBitsSink::write(const uint8_t* bytes, size_t count) {
    if (stop_ && stop_()) return false;
    map_.setUsedBits(first_ + done_ * 8, bytes, count * 8);
    done_ += count;
    return true;
}

bool MapBitsSink::skip(uint64_t count) {
    done_ += count;
    return true;
}

bool MapBitsSink::lost(uint64_t count) {
    whole_ = false;
    return skip(count);
}

}  // namespace undelete
