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

MftRecordMap MftRecordMap::fromRuns(const std::vector<RunListNode>& runs,
                                    uint64_t partitionOffset, uint32_t bytesPerCluster,
                                    uint32_t recordSize, uint64_t recordCount, uint64_t limit) {
    MftRecordMap map;
    map.recordSize_ = recordSize;
    if (recordSize == 0) return map;
    uint64_t cluster = 0;
    uint64_t index = 0;
    for (const RunListNode& run : runs) {
        if (index >= recordCount) break;
        // Distances move forwards or backwards; the sum wraps like the
        // disk's own 64-bit cluster numbers.
        cluster += static_cast<uint64_t>(run.runOffset);
        const uint64_t n = std::min(recordsIn(run.runLength, bytesPerCluster, recordSize),
                                    recordCount - index);
        uint64_t position = 0;
        if (n != 0 && !run.sparse &&
            clusterByteOffset(partitionOffset, cluster, bytesPerCluster, position) &&
            position < limit) {
            const uint64_t inside = std::min(n, (limit - position) / recordSize);
            if (inside != 0) map.extents_.push_back({index, inside, position});
        }
        index += n;
    }
    return map;
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
