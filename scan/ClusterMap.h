// Which clusters of a volume live files use now (from a FAT, an exFAT
// allocation bitmap or NTFS's $Bitmap), one bit each, with counts per block
// so that "how many are free between" is found without walking every
// cluster in between. Pure: filled by the caller.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace undelete {

class ClusterMap {
public:
    // All of [0, limit) free except the clusters below `firstData`, which
    // hold no data (FAT and exFAT number their first data cluster 2). False
    // when the map cannot be had (memory).
    bool reset(uint64_t limit, uint64_t firstData = 2);
    void setUsed(uint64_t cluster);
    // Marks used the clusters whose bits are set in `bits` (`count` bits,
    // the lowest bit of each byte first), bit i standing for cluster
    // `first` + i: an allocation bitmap read piece by piece.
    void setUsedBits(uint64_t first, const uint8_t* bits, size_t count);
    // Builds the block counts; call once every setUsed is done.
    void finish();

    uint64_t limit() const { return limit_; }
    // Clusters at or beyond the limit count as used: no file lies there.
    bool used(uint64_t cluster) const;
    // Free clusters in [from, to).
    uint64_t freeBetween(uint64_t from, uint64_t to) const;
    // Used clusters among `count` from `first` on, those past the limit
    // included.
    uint64_t usedIn(uint64_t first, uint64_t count) const;
    // The first cluster at or after `from` that is used (looked for before
    // `before` only) / free; limit(), or `before`, if none.
    uint64_t nextUsed(uint64_t from, uint64_t before = UINT64_MAX) const;
    uint64_t nextFree(uint64_t from) const;

private:
    static constexpr uint64_t kBlockWords = 64;  // 4096 clusters a block
    uint64_t freeInWords(size_t firstWord, size_t endWord) const;
    uint64_t freeBefore(uint64_t cluster) const;

    uint64_t limit_ = 0;
    std::vector<uint64_t> words_;            // bit set: used
    std::vector<uint64_t> freeBeforeBlock_;  // free clusters in the blocks before
};

}  // namespace undelete
