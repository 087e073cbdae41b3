// The deeper scan's one read of a volume's free clusters: each free cluster
// the directory walk did not read is handed over once, in cluster order,
// read in large pieces (parsed where it lies when the drive offers a
// window). Clusters that cannot be read are passed over; a stop or a spent
// budget of failures ends the pass.
#pragma once
#include <cstdint>
#include <functional>

#include "scan/BudgetedReader.h"
#include "scan/ClusterMap.h"

namespace undelete {

struct FreeClusterVolume {
    uint64_t firstDataOffset = 0;  // absolute byte offset of cluster 2
    uint32_t clusterBytes = 0;
    uint32_t clusterLimit = 2;     // one past the highest usable cluster
};

struct FreeClusterHooks {
    std::function<bool(uint32_t cluster)> walked;  // read by the directory walk
    std::function<bool()> stop;                    // true: end the pass
    std::function<void(uint64_t done, uint64_t total)> progress;  // free clusters read
};

// `take` gets each cluster's number and its clusterBytes bytes.
using FreeClusterVisitor = std::function<void(uint32_t cluster, const uint8_t* bytes)>;

// About this many bytes per read (whole clusters).
constexpr uint32_t kFreeClusterPieceBytes = 4u << 20;

void readFreeClusters(BudgetedReader& reads, const ClusterMap& used,
                      const FreeClusterVolume& volume, const FreeClusterHooks& hooks,
                      const FreeClusterVisitor& take);

}  // namespace undelete
