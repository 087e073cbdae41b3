// Where the clusters of an exFAT file or directory lie, given one extent at
// a time (FileLayout.h), so that a file of any length is read without a
// list of its clusters.
#pragma once
#include <cstdint>
#include <memory>

#include "exfat/ExfatFat.h"
#include "scan/ClusterMap.h"
#include "scan/FileLayout.h"

namespace undelete {

enum class ExfatLayout : uint8_t {
    // Marked "no FAT chain": one run from the first cluster.
    Contiguous,
    // Along the FAT (for a deleted file only when the chain still holds
    // exactly its clusters).
    FatChain,
    // The chain is gone: the first cluster, then the clusters after it that
    // the allocation bitmap marks free (FreeAfterFirst.h), as on FAT.
    FreeAfterFirst,
};

// Up to `clusters` clusters from `first` (a cluster of the volume) in
// `layout`, never past the volume's last cluster. A FAT chain that ends
// sooner ends the extents there (a directory's chain, whose length is not
// known). `fat` and `bitmap` must outlive the cursor.
std::unique_ptr<ExtentCursor> exfatClusters(ExfatLayout layout, uint32_t first, uint64_t clusters,
                                            ExfatFat& fat, const ClusterMap& bitmap,
                                            uint32_t clusterLimit);

// The layout a file's clusters follow: Contiguous when the set says so,
// FatChain when the FAT holds exactly `clusters` clusters from `first`,
// FreeAfterFirst otherwise.
ExfatLayout exfatLayoutOf(bool noFatChain, uint32_t first, uint64_t clusters, ExfatFat& fat);

}  // namespace undelete
