// A scanner that walks its volume's folders over a heap of clusters (FAT,
// exFAT): the walk's state (its reads' budget, the folders found, the
// clusters walked, the depth), the clusters' geometry, and the deeper
// scan's pass over the clusters the walk did not read.
#pragma once
#include <cstdint>
#include <memory>
#include <unordered_set>

#include "scan/BudgetedReader.h"
#include "scan/FolderPaths.h"
#include "scan/FreeClusterPass.h"
#include "scan/LayoutScanner.h"

namespace undelete {

class ClusterWalkScanner : public LayoutScanner {
public:
    // Deeper directories are not walked, so a damaged tree cannot exhaust
    // memory with one directory buffer per level.
    static constexpr int kMaxDirectoryDepth = 64;
    // Failed reads in a row after which the walk reads no more.
    static constexpr int kMaxConsecutiveReadFailures = 16;

    using LayoutScanner::LayoutScanner;

protected:
    // Readies a new walk: no folder, no cluster walked, nothing told.
    void beginWalk();
    bool validCluster(uint32_t cluster) const { return cluster >= 2 && cluster < clusterLimit_; }
    // The absolute byte offset of a valid cluster: no wrap below cluster
    // 2, and the cluster limit keeps the product inside the volume.
    uint64_t clusterOffset(uint32_t cluster) const {
        return firstDataOffset_ + uint64_t{cluster - 2u} * clusterBytes_;
    }
    // Remembers a directory cluster; false when it was walked before (a
    // loop back, a cross-link).
    bool markWalked(uint32_t cluster) { return walkedClusters_.insert(cluster).second; }
    bool wasWalked(uint32_t cluster) const { return walkedClusters_.count(cluster) != 0; }
    // For the deeper scan's pass: the clusters and the hooks that pass
    // over walked clusters, ask for a stop and show the pass's progress.
    FreeClusterVolume freeClusterVolume() const {
        return {firstDataOffset_, clusterBytes_, clusterLimit_};
    }
    FreeClusterHooks freeClusterHooks();

    std::unique_ptr<BudgetedReader> walkReads_;
    uint64_t firstDataOffset_ = 0;  // absolute byte offset of cluster 2
    uint32_t clusterBytes_ = 0;     // the volume's sectors, not the disk's
    uint32_t clusterLimit_ = 2;     // one past the highest usable cluster
    FolderList folders_;
    FolderPaths paths_{folders_, "/"};
    std::unordered_set<uint32_t> walkedClusters_;
    int depth_ = 0;
};

}  // namespace undelete
