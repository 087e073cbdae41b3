// Which clusters of a volume live files use now (from a FAT, or from an
// allocation bitmap), one bit each, with counts per block so that "the n-th
// free cluster from here" is found without walking every cluster in
// between. Pure: filled by the caller.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace undelete {

class ClusterMap {
public:
    // All of [0, limit) free except clusters 0 and 1, which hold no data.
    // False when the map cannot be had (memory).
    bool reset(uint32_t limit);
    void setUsed(uint32_t cluster);
    // Marks used the clusters whose bits are set in `bits` (`count` bits,
    // the lowest bit of each byte first), bit i standing for cluster
    // `first` + i: an allocation bitmap read piece by piece.
    void setUsedBits(uint32_t first, const uint8_t* bits, size_t count);
    // Builds the block counts; call once every setUsed is done.
    void finish();

    uint32_t limit() const { return limit_; }
    // Clusters at or beyond the limit count as used: no file lies there.
    bool used(uint32_t cluster) const;
    // Free clusters in [from, to).
    uint64_t freeBetween(uint32_t from, uint32_t to) const;
    // The first cluster at or after `from` that is used / free; limit() if none.
    uint32_t nextUsed(uint32_t from) const;
    uint32_t nextFree(uint32_t from) const;
    // The cluster holding the n-th (n ≥ 1) free cluster counted from `from`
    // on; false when fewer than n are free there.
    bool nthFree(uint32_t from, uint64_t n, uint32_t& at) const;

private:
    static constexpr uint32_t kBlockWords = 64;  // 4096 clusters a block
    uint64_t freeInWords(size_t firstWord, size_t endWord) const;
    uint64_t freeBefore(uint32_t cluster) const;

    uint32_t limit_ = 0;
    std::vector<uint64_t> words_;         // bit set: used
    std::vector<uint64_t> freeBeforeBlock_;  // free clusters in the blocks before
};

}  // namespace undelete
