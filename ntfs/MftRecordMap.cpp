#include "ntfs/MftRecordMap.h"

#include <algorithm>

#include "partition/NtfsBootSector.h"

namespace undelete {
namespace {

// Whole records in `clusters` clusters; saturates where the byte count
// would not fit 64 bits (the caller caps it by the record count).
uint64_t recordsIn(uint64_t clusters, uint32_t bytesPerCluster, uint32_t recordSize) {
    if (bytesPerCluster != 0 && clusters > UINT64_MAX / bytesPerCluster) return UINT64_MAX;
    return clusters * bytesPerCluster / recordSize;
}

}  // namespace

MftRecordMap::MftRecordMap(uint64_t partitionOffset, uint32_t bytesPerCluster,
                           uint32_t recordSize, uint64_t recordCount, uint64_t limit)
    : recordSize_(recordSize),
      partitionOffset_(partitionOffset),
      bytesPerCluster_(bytesPerCluster),
      recordCount_(recordCount),
      limit_(limit) {}

MftRecordMap MftRecordMap::fromRuns(const std::vector<RunListNode>& runs,
                                    uint64_t partitionOffset, uint32_t bytesPerCluster,
                                    uint32_t recordSize, uint64_t recordCount, uint64_t limit) {
    MftRecordMap map(partitionOffset, bytesPerCluster, recordSize, recordCount, limit);
    map.append(runs.data(), runs.size());
    return map;
}

void MftRecordMap::append(const RunListNode* runs, size_t count) {
    if (recordSize_ == 0) return;
    for (size_t i = 0; i < count && next_ < recordCount_; ++i) {
        const RunListNode& run = runs[i];
        // Distances move forwards or backwards; the sum wraps like the
        // disk's own 64-bit cluster numbers.
        cluster_ += static_cast<uint64_t>(run.runOffset);
        const uint64_t n = std::min(recordsIn(run.runLength, bytesPerCluster_, recordSize_),
                                    recordCount_ - next_);
        uint64_t position = 0;
        if (n != 0 && !run.sparse &&
            clusterByteOffset(partitionOffset_, cluster_, bytesPerCluster_, position) &&
            position < limit_) {
            const uint64_t inside = std::min(n, (limit_ - position) / recordSize_);
            if (inside != 0) extents_.push_back({next_, inside, position});
        }
        next_ += n;
    }
}

const MftRecordMap::Extent* MftRecordMap::extentOf(uint64_t index) const {
    auto after = std::upper_bound(
        extents_.begin(), extents_.end(), index,
        [](uint64_t value, const Extent& e) { return value < e.firstIndex; });
    if (after == extents_.begin()) return nullptr;
    const Extent& e = *(after - 1);
    return index - e.firstIndex < e.count ? &e : nullptr;
}

uint64_t MftRecordMap::entry(uint64_t index) const {
    const Extent* e = extentOf(index);
    return e == nullptr ? 0 : e->position + (index - e->firstIndex) * recordSize_;
}

uint64_t MftRecordMap::mappedEnd() const {
    return extents_.empty() ? 0 : extents_.back().firstIndex + extents_.back().count;
}

}  // namespace undelete
