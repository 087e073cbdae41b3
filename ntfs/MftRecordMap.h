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
    // at or beyond `recordCount`. Records that would end past the absolute
    // byte offset `limit` (the end of the partition or of the disk,
    // whichever comes first), or whose position does not fit 64 bits, keep
    // their numbers but get no position.
    static MftRecordMap fromRuns(const std::vector<RunListNode>& runs, uint64_t partitionOffset,
                                 uint32_t bytesPerCluster, uint32_t recordSize,
                                 uint64_t recordCount, uint64_t limit = UINT64_MAX);

    // An empty map that `append` fills as fromRuns would.
    MftRecordMap(uint64_t partitionOffset, uint32_t bytesPerCluster, uint32_t recordSize,
                 uint64_t recordCount, uint64_t limit = UINT64_MAX);
    MftRecordMap() = default;

    // Maps the records of `runs`, which continue the runs appended before
    // (their distances count from the last of those).
    void append(const RunListNode* runs, size_t count);

    // The absolute byte offset of record `index`, or 0 when no run holds it.
    uint64_t entry(uint64_t index) const;

    const std::vector<Extent>& extents() const { return extents_; }

    // One past the highest mapped record number (0 when nothing is mapped):
    // the records the disk can actually hold, whatever the table claims.
    uint64_t mappedEnd() const;

    // The extent that holds record `index`, or null.
    const Extent* extentOf(uint64_t index) const;

    uint32_t recordSize() const { return recordSize_; }

private:
    std::vector<Extent> extents_;  // in increasing firstIndex order
    uint32_t recordSize_ = 0;
    uint64_t partitionOffset_ = 0;
    uint32_t bytesPerCluster_ = 0;
    uint64_t recordCount_ = 0;
    uint64_t limit_ = UINT64_MAX;
    uint64_t cluster_ = 0;  // the last run's first cluster
    uint64_t next_ = 0;     // the next record number a run takes
};

}  // namespace undelete
