// The volume's cluster allocation map ($Bitmap: one bit per cluster, set
// while a live file uses it), and how much of a deleted file's clusters
// live files have taken since. Pure: the scanner loads the bits.
#pragma once
#include <cstdint>
#include <vector>

#include "ntfs/MftRecord.h"
#include "scan/DeletedFile.h"

namespace undelete {

class ClusterBitmap {
public:
    // No map: every state is Unknown.
    ClusterBitmap() = default;
    // `bits` covers clusters 0 … bits.size() × 8 − 1; clusters at or beyond
    // `clusterCount` (or beyond the bits) do not belong to the volume.
    ClusterBitmap(std::vector<uint8_t> bits, uint64_t clusterCount);

    bool known() const { return known_; }
    bool inUse(uint64_t cluster) const;

    // The state of the clusters `runs` give the first `length` bytes of a
    // file: Intact when no live file uses any, Overwritten when its first
    // cluster or more than half of them are used, else Partial. Clusters
    // outside the volume count as used (they are not the file's). Sparse
    // runs hold nothing to lose. The work is bounded by the volume's
    // cluster count, whatever the runs claim.
    FileState stateOf(const std::vector<RunListNode>& runs, uint64_t length,
                      uint32_t bytesPerCluster) const;

private:
    // Used clusters among `count` from `first` on.
    uint64_t usedIn(uint64_t first, uint64_t count) const;

    std::vector<uint8_t> bits_;
    uint64_t clusterCount_ = 0;  // clusters the bits describe
    bool known_ = false;
};

}  // namespace undelete
