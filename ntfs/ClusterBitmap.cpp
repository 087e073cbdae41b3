#include "ntfs/ClusterBitmap.h"

#include <algorithm>
#include <bitset>

namespace undelete {

ClusterBitmap::ClusterBitmap(std::vector<uint8_t> bits, uint64_t clusterCount)
    : bits_(std::move(bits)), known_(true) {
    clusterCount_ = std::min<uint64_t>(clusterCount, static_cast<uint64_t>(bits_.size()) * 8);
}

bool ClusterBitmap::inUse(uint64_t cluster) const {
    if (cluster >= clusterCount_) return true;
    return (bits_[cluster / 8] >> (cluster % 8) & 1) != 0;
}

uint64_t ClusterBitmap::usedIn(uint64_t first, uint64_t count) const {
    if (first >= clusterCount_) return count;
    const uint64_t inside = std::min(count, clusterCount_ - first);
    uint64_t used = count - inside;
    uint64_t c = first;
    const uint64_t end = first + inside;
    for (; c < end && c % 8 != 0; ++c) used += inUse(c);
    for (; c + 8 <= end; c += 8) used += std::bitset<8>(bits_[c / 8]).count();
    for (; c < end; ++c) used += inUse(c);
    return used;
}

FileState ClusterBitmap::stateOf(const std::vector<RunListNode>& runs, uint64_t length,
                                 uint32_t bytesPerCluster) const {
    if (!known_) return FileState::Unknown;
    if (bytesPerCluster == 0) return FileState::Unknown;
    uint64_t remaining = length / bytesPerCluster + (length % bytesPerCluster != 0);
    // No file of this volume has more clusters than the volume.
    uint64_t budget = clusterCount_ + 1;
    uint64_t cluster = 0, total = 0, used = 0;
    bool firstUsed = false;
    for (const RunListNode& run : runs) {
        if (remaining == 0 || budget == 0) break;
        cluster += static_cast<uint64_t>(run.runOffset);
        const uint64_t n = std::min(run.runLength, remaining);
        remaining -= n;
        if (run.sparse || n == 0) continue;
        const uint64_t examined = std::min(n, budget);
        budget -= examined;
        if (total == 0) firstUsed = inUse(cluster);
        total += examined;
        used += usedIn(cluster, examined);
    }
    if (used == 0) return FileState::Intact;
    if (firstUsed || used > total / 2) return FileState::Overwritten;
    return FileState::Partial;
}

}  // namespace undelete
