// Where every record of the master file table begins on the drive. The
// table is stored as the runs of its own $DATA attribute, so the map keeps
// one extent per run rather than one entry per record: its size depends on
// the run count alone, never on what a record count read from the disk
// says.
#pragma once
#include <cstdint>
#include <vector>

#include "ntfs/MftRecord.h"

namespace undelete {

class MftRecordMap {
public:
    // Records firstIndex … firstIndex + count − 1 lie recordSize bytes apart
    // from the absolute byte offset `position` on.
    struct Extent {
        uint64_t firstIndex = 0;
        uint64_t count = 0;
        uint64_t position = 0;
    };

    // Follows `runs` in list order: each run's records take the next free
    // record numbers, a partial record at a run's end is not counted, a
    // sparse run takes its numbers without positions, and nothing is mapped
    // at or beyond `recordCount`.
    static MftRecordMap fromRuns(const std::vector<RunListNode>& runs, uint64_t partitionOffset,
                                 uint32_t bytesPerCluster, uint32_t recordSize,
                                 uint64_t recordCount);

    // The absolute byte offset of record `index`, or 0 when no run holds it.
    uint64_t entry(uint64_t index) const;

    const std::vector<Extent>& extents() const { return extents_; }

private:
    std::vector<Extent> extents_;  // in increasing firstIndex order
    uint32_t recordSize_ = 0;
};

}  // namespace undelete
