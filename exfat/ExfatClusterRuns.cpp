#include "exfat/ExfatClusterRuns.h"

#include <algorithm>
#include <vector>

#include "scan/FreeAfterFirst.h"

namespace undelete {
namespace {

// Along the FAT: one extent while the chain steps to the cluster after; an
// extent never passes the count, so a loop ends with it.
class FatChainExtents final : public ExtentCursor {
public:
    FatChainExtents(ExfatFat& fat, uint32_t first, uint64_t clusters)
        : fat_(fat), first_(first), clusters_(clusters) {}

    bool next(Extent& extent) override {
        if (ended_ || given_ >= clusters_) return false;
        const uint64_t left = clusters_ - given_;
        const uint32_t start = following_;
        uint64_t run = 1;
        uint32_t c = start, n = 0;
        ended_ = true;
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
        extent = Extent::stored(start, run);
        given_ += run;
        return true;
    }
    void rewind() override {
        given_ = 0;
        following_ = first_;
        ended_ = false;
    }

private:
    ExfatFat& fat_;
    const uint32_t first_;
    const uint64_t clusters_;
    uint64_t given_ = 0;
    uint32_t following_ = first_;
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<ExtentCursor> exfatClusters(ExfatLayout layout, uint32_t first, uint64_t clusters,
                                            ExfatFat& fat, const ClusterMap& bitmap,
                                            uint32_t clusterLimit) {
    if (first < 2 || first >= clusterLimit || clusters == 0) {
        return std::make_unique<ExtentList>(std::vector<Extent>{});
    }
    switch (layout) {
    case ExfatLayout::Contiguous:
        return std::make_unique<ExtentList>(std::vector<Extent>{
            Extent::stored(first, std::min<uint64_t>(clusters, clusterLimit - first))});
    case ExfatLayout::FatChain: return std::make_unique<FatChainExtents>(fat, first, clusters);
    case ExfatLayout::FreeAfterFirst: return std::make_unique<FreeAfterFirst>(bitmap, first, clusters);
    }
    return nullptr;
}

ExfatLayout exfatLayoutOf(bool noFatChain, uint32_t first, uint64_t clusters, ExfatFat& fat) {
    if (noFatChain) return ExfatLayout::Contiguous;
    return fat.chainHolds(first, clusters) ? ExfatLayout::FatChain : ExfatLayout::FreeAfterFirst;
}

}  // namespace undelete
