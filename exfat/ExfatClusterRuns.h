// Where the clusters of an exFAT file or directory lie, given out one run
// of consecutive clusters at a time, so that a file of any length is read
// without a list of its clusters.
#pragma once
#include <cstdint>

#include "exfat/ExfatFat.h"
#include "scan/ClusterMap.h"

namespace undelete {

enum class ExfatLayout : uint8_t {
    // Marked "no FAT chain": one run from the first cluster.
    Contiguous,
    // Along the FAT (for a deleted file only when the chain still holds
    // exactly its clusters).
    FatChain,
    // The chain is gone: the first cluster, then the clusters after it that
    // the allocation bitmap marks free, as the FAT32 scanner takes them.
    FreeAfterFirst,
};

class ExfatClusterRuns {
public:
    // Up to `clusters` clusters from `first`. A FAT chain that ends sooner
    // ends the runs there (a directory's chain, whose length is not known).
    ExfatClusterRuns(ExfatLayout layout, uint32_t first, uint64_t clusters, ExfatFat& fat,
                     const ClusterMap& bitmap, uint32_t clusterLimit);

    // The next run; false when every cluster has been given or no more can
    // be found.
    bool next(uint32_t& first, uint32_t& count);
    uint64_t given() const { return given_; }

private:
    ExfatLayout layout_;
    uint32_t first_;
    uint64_t clusters_;
    ExfatFat& fat_;
    const ClusterMap& bitmap_;
    uint32_t limit_;
    uint64_t given_ = 0;
    uint32_t following_ = 0;  // the cluster the next run starts at (or after)
    bool ended_ = false;
};

// The layout a file's clusters follow: Contiguous when the set says so,
// FatChain when the FAT holds exactly `clusters` clusters from `first`,
// FreeAfterFirst otherwise.
ExfatLayout exfatLayoutOf(bool noFatChain, uint32_t first, uint64_t clusters, ExfatFat& fat);

}  // namespace undelete
