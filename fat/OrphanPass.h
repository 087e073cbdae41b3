// The deeper scan of a FAT volume: every free cluster read once, in large
// pieces (scan/FreeClusterPass.h), and each one that holds directory
// entries gives its files, deleted or not: a deleted folder's later
// cluster, whose chain the deletion cleared from the FAT, or a folder
// nothing links to any more (all of them, after a format). Clusters that
// follow one another are read as one folder until one holds an end mark or
// the next starts with "." and "..": a folder's first cluster, which names
// the folder it is in. The clusters the directory walk already read are
// passed over, so no entry is catalogued twice.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "fat/DeletedEntry.h"
#include "scan/FoundFolders.h"
#include "scan/FreeClusterPass.h"

namespace undelete {

struct OrphanFinds {
    // Each with `folder` the first cluster of the found folder it lies in.
    std::vector<DeletedEntry> files;
    FoundFolders folders;
};

// What the pass collects, cluster by cluster; pure, for tests and fuzzing.
class FatOrphanCollector {
public:
    // A found folder is read whole up to the format's largest directory.
    static constexpr uint32_t kMaxFolderBytes = 2u << 20;

    FatOrphanCollector(uint32_t clusterBytes, uint32_t clusterLimit, OrphanFinds& finds)
        : clusterBytes_(clusterBytes), clusterLimit_(clusterLimit), finds_(finds) {}
    // Cluster `cluster`'s bytes; clusters come in rising order. May throw
    // std::bad_alloc.
    void take(uint32_t cluster, const uint8_t* bytes);
    // Names the folders found: a child may lie before or after the folder
    // that names it.
    void finish();

private:
    struct Naming {
        uint32_t cluster;
        uint32_t container;
        std::string name;
    };
    void flush();

    const uint32_t clusterBytes_;
    const uint32_t clusterLimit_;
    OrphanFinds& finds_;
    std::vector<uint8_t> folder_;  // the clusters of the folder being read
    uint32_t key_ = 0;             // its first cluster found
    uint32_t last_ = 0;            // its last cluster found
    bool ended_ = false;           // which holds an end mark
    std::vector<Naming> namings_;  // folders named by the entries read
};

class OrphanPass {
public:
    // `reads` reads the clusters, with its budget of failures.
    OrphanPass(BudgetedReader& reads, const ClusterMap& used, const FreeClusterVolume& volume,
               FreeClusterHooks hooks);

    // Adds what the free clusters hold to `finds`. Ends early when stopped
    // or when the reads' budget is spent. May throw std::bad_alloc.
    void run(OrphanFinds& finds);

private:
    BudgetedReader& reads_;
    const ClusterMap& used_;
    FreeClusterVolume volume_;
    FreeClusterHooks hooks_;
};

}  // namespace undelete
