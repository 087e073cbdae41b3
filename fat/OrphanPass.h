// The deeper scan of a FAT volume: every free cluster read once, in large
// pieces, and each one that holds directory entries (a deleted folder's
// later cluster, whose chain the deletion cleared from the FAT, or a
// deleted folder nothing links to any more) gives its deleted files. The
// clusters the directory walk already read are passed over, so no entry is
// catalogued twice.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "disk/DriveReader.h"
#include "fat/DeletedEntry.h"
#include "scan/BudgetedReader.h"
#include "scan/ClusterMap.h"

namespace undelete {

struct OrphanPassVolume {
    uint64_t firstDataOffset = 0;  // absolute byte offset of cluster 2
    uint32_t clusterBytes = 0;
    uint32_t clusterLimit = 2;     // one past the highest usable cluster
};

struct OrphanPassHooks {
    std::function<bool(uint32_t cluster)> walked;  // read by the directory walk
    std::function<bool()> stop;                    // true: end the pass, keep what it found
    std::function<void(uint64_t done, uint64_t total)> progress;  // free clusters read
};

class OrphanPass {
public:
    // About this many bytes per read (whole clusters).
    static constexpr uint32_t kPieceBytes = 4u << 20;

    // `drive` offers read-only windows where it can (an image file): a
    // piece is then parsed where it lies, not copied; `reads` reads it
    // otherwise, with its budget of failures.
    OrphanPass(DriveReader& drive, BudgetedReader& reads, const ClusterMap& used,
               const OrphanPassVolume& volume, OrphanPassHooks hooks);

    // Appends the deleted files found to `catalogue`, each in `folder`.
    // Ends early when stopped or when the reads' budget is spent. May throw
    // std::bad_alloc.
    void run(uint32_t folder, std::vector<DeletedEntry>& catalogue);

private:
    class Sink;

    DriveReader& drive_;
    BudgetedReader& reads_;
    const ClusterMap& used_;
    OrphanPassVolume volume_;
    OrphanPassHooks hooks_;
};

}  // namespace undelete
