#include "exfat/ExfatClusterRuns.h"

#include <algorithm>

namespace undelete {

ExfatClusterRuns::ExfatClusterRuns(ExfatLayout layout, uint32_t first, uint64_t clusters,
                                   ExfatFat& fat, const ClusterMap& bitmap, uint32_t clusterLimit)
    : layout_(layout),
      first_(first),
      clusters_(clusters),
      fat_(fat),
      bitmap_(bitmap),
      limit_(clusterLimit),
      following_(first) {}

bool ExfatClusterRuns::next(uint32_t& first, uint32_t& count) {
    if (ended_ || given_ >= clusters_ || first_ < 2 || first_ >= limit_) return false;
    const uint64_t left = clusters_ - given_;
    uint64_t run = 0;
    switch (layout_) {
    case ExfatLayout::Contiguous:
        // Never past the volume's last cluster.
        first = first_;
        run = std::min<uint64_t>(left, limit_ - first_);
        ended_ = true;
        break;
    case ExfatLayout::FatChain: {
        first = following_;
        run = 1;
        uint32_t c = following_, n = 0;
        ended_ = true;
        // One run while the chain steps to the cluster after; a run never
        // passes the count, so a loop ends with it.
        while (run < left) {
            if (!fat_.next(c, n)) break;
            if (n != c + 1) {
                following_ = n;
                ended_ = false;
                break;
            }
            c = n;
            ++run;
        }
        break;
    }
    case ExfatLayout::FreeAfterFirst: {
        // The first cluster whatever the bitmap says, then free ones up to
        // the next cluster in use.
        first = given_ == 0 ? first_ : bitmap_.nextFree(following_);
        if (first >= limit_) return false;
        const uint32_t end = std::min<uint32_t>(bitmap_.nextUsed(first + 1), limit_);
        run = std::min<uint64_t>(left, end - first);
        following_ = static_cast<uint32_t>(first + run);
        break;
    }
    }
    if (run == 0) return false;
    count = static_cast<uint32_t>(run);
    given_ += run;
    return true;
}

ExfatLayout exfatLayoutOf(bool noFatChain, uint32_t first, uint64_t clusters, ExfatFat& fat) {
    if (noFatChain) return ExfatLayout::Contiguous;
    return fat.chainHolds(first, clusters) ? ExfatLayout::FatChain : ExfatLayout::FreeAfterFirst;
}

}  // namespace undelete
