// Which clusters of a volume live files use now (from a FAT, an exFAT
// allocation bitmap or NTFS's $Bitmap), one bit each, with counts per block
// so that "how many are free between" is found without walking every
// cluster in between. Pure: filled by the caller.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "scan/ContentSink.h"

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

// An allocation bitmap read as content (exFAT's, NTFS's $Bitmap): its bits
// laid straight into a map, bit 0 standing for cluster `first`. A sparse
// run holds no cluster in use; bytes that cannot be read count as free and
// leave the map short of whole; a stop ends the read.
class MapBitsSink final : public ContentSink {
public:
    MapBitsSink(ClusterMap& map, uint64_t first, std::function<bool()> stop = {})
        : map_(map), first_(first), stop_(std::move(stop)) {}
    bool begin(uint64_t) override { return true; }
    bool write(const uint8_t* bytes, size_t count) override;
    bool skip(uint64_t count) override;
    bool lost(uint64_t count) override;
    // True when all of `length` bytes were had.
    bool whole(uint64_t length) const { return whole_ && done_ == length; }

private:
    ClusterMap& map_;
    const uint64_t first_;
    const std::function<bool()> stop_;
    uint64_t done_ = 0;  // bytes given
    bool whole_ = true;
};

}  // namespace undelete
