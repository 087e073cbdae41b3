// "The first cluster, then the free clusters after it": where FAT and exFAT
// take a deleted file's clusters once its chain is gone. The first cluster
// is the file's by its entry, whatever the map says; the rest are the
// clusters that no live file uses now, in order, passing over those that
// one does. Given one run at a time, so a file of any length needs no list.
#pragma once
#include <cstdint>

#include "scan/ClusterMap.h"
#include "scan/FileLayout.h"

namespace undelete {

class FreeAfterFirst final : public ExtentCursor {
public:
    // Up to `clusters` clusters from `first` on (which must lie below the
    // map's limit); the runs end at the map's limit.
    FreeAfterFirst(const ClusterMap& map, uint64_t first, uint64_t clusters)
        : map_(map), first_(first), clusters_(clusters) {}

    bool next(Extent& extent) override;
    void rewind() override {
        given_ = 0;
        following_ = first_;
    }

private:
    const ClusterMap& map_;
    const uint64_t first_;
    const uint64_t clusters_;
    uint64_t given_ = 0;
    uint64_t following_ = first_;  // where the next run starts, or after it
};

}  // namespace undelete
