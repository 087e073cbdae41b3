#include "scan/FileStates.h"

#include <algorithm>

namespace undelete {

FileState layoutState(FileLayout* layout, const ClusterMap& map, bool mapKnown) {
    if (!mapKnown || layout == nullptr) return FileState::Unknown;
    const uint32_t unit = layout->clusters.bytes;
    if (unit == 0) return FileState::Unknown;
    const uint64_t valid = std::min(layout->validLength, layout->length);
    uint64_t needed = valid / unit + (valid % unit != 0);
    // No file of this volume has more clusters than the volume.
    uint64_t budget = map.limit() + 1;
    uint64_t stored = 0, used = 0;
    bool firstUsed = false, passedOver = false;
    uint64_t nextCluster = 0;  // where a guessed layout's next run would start
    Extent extent;
    if (layout->extents) layout->extents->rewind();
    while (needed > 0 && budget > 0 && layout->extents && layout->extents->next(extent)) {
        const uint64_t n = std::min(extent.count, needed);
        needed -= n;
        if (extent.kind == Extent::Kind::Sparse || n == 0) continue;
        if (extent.kind == Extent::Kind::Missing) {
            needed += n;  // not covered
            break;
        }
        const uint64_t examined = std::min(n, budget);
        budget -= examined;
        if (stored == 0) firstUsed = map.used(extent.first);
        else if (layout->guessed && extent.first != nextCluster) passedOver = true;
        nextCluster = extent.first + n;
        stored += examined;
        used += map.usedIn(extent.first, examined);
    }
    if (firstUsed || used > stored / 2) return FileState::Overwritten;
    if (needed > 0 && budget > 0) {
        return layout->shortfallUnknown ? FileState::Unknown : FileState::Partial;
    }
    return used > 0 || passedOver ? FileState::Partial : FileState::Intact;
}

}  // namespace undelete
