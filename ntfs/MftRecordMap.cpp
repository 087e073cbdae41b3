#include "ntfs/MftRecordMap.h"

#include <algorithm>

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
                                    uint32_t recordSize, uint64_t recordCount) {
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
        if (n != 0 && !run.sparse) {
            map.extents_.push_back({index, n, partitionOffset + cluster * bytesPerCluster});
        }
        index += n;
    }
    return map;
}

uint64_t MftRecordMap::entry(uint64_t index) const {
    auto after = std::upper_bound(
        extents_.begin(), extents_.end(), index,
        [](uint64_t value, const Extent& e) { return value < e.firstIndex; });
    if (after == extents_.begin()) return 0;
    const Extent& e = *(after - 1);
    if (index - e.firstIndex >= e.count) return 0;
    return e.position + (index - e.firstIndex) * recordSize_;
}

}  // namespace undelete
