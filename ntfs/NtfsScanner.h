// Scanner of NTFS partitions: maps every record of the master file table
// to its place on the drive, lists deleted records that still hold a name
// and reads their content, resident or in runs.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "disk/DriveReader.h"
#include "ntfs/ClusterBitmap.h"
#include "ntfs/FolderPaths.h"
#include "ntfs/MftRecord.h"
#include "ntfs/MftRecordMap.h"
#include "ntfs/MftTableReader.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete {

// Told when the table's record count is cut: it claims more records than
// the partition holds, or more than the runs the scanner follows map.
extern const char kTableBeyondPartitionMessage[];
extern const char kTableUnmappedMessage[];

class NtfsScanner : public VolumeScanner {
public:
    // Failed reads in a row after which a save, or the table, reads no more.
    static constexpr uint32_t kMaxReadFailuresInARow = 16;

    explicit NtfsScanner(const ScanContext& context);

    // Reads the boot sector and the table's own record, learns the table's
    // valid data length (from the context's lookup when it has one, else
    // from that record), maps the records that lie inside the partition
    // and the disk, and loads the cluster bitmap (a bitmap that cannot be
    // had leaves every state Unknown; the open still succeeds).
    bool open(const PartitionRecord* record) override;

    // True for every index below the record count: at most the records
    // the map's extents hold, never the table's claimed length alone.
    bool hasItem(uint32_t index) override;
    uint64_t itemCount() override { return recordCount_; }

    // True for a deleted record (flags 0) with a name outside the DOS
    // namespace: its name, size, creation time, folder and state are
    // written to `file`. Records are read in large pieces (worker thread).
    bool describe(uint32_t index, DeletedFile& file) override;

    // The record's content: the resident value, or the clusters of every
    // run of the non-resident one in list order (sparse runs and bytes past
    // the initialized size as holes), up to the data size. False before
    // anything reaches the sink when a run lies, even partly, outside the
    // partition or the disk; a piece that cannot be read inside them goes
    // to the sink as lost, and so does what the runs leave uncovered.
    bool readContent(uint32_t index, ContentSink& sink) override;

private:
    bool buildRecordMap(uint32_t serial, uint64_t mftCluster);
    void loadBitmap();
    // Reads and parses record `index` on its own (no piece); false (no
    // read) when the map holds no position for it.
    bool readRecord(uint64_t index, bool notInUseOnly, MftRecordInfo& info);
    // The same through the table reader's piece of `slot`.
    bool readTableRecord(uint64_t index, MftTableReader::Slot slot, bool notInUseOnly,
                         MftRecordInfo& info);
    // True when `bytes` from `cluster` on lie inside the partition and disk;
    // `position` is then their absolute offset.
    bool clustersInside(uint64_t cluster, uint64_t bytes, uint64_t& position) const;
    bool runsInside(const MftRecordInfo& info, uint64_t length) const;
    bool streamRuns(const MftRecordInfo& info, uint64_t length, ContentSink& sink);

    DriveReader drive_;
    MftLengthLookup mftValidDataLength_;
    MessageSink toldIncomplete_;
    uint64_t partitionOffset_ = 0;  // absolute byte offset of the partition
    uint64_t volumeEnd_ = 0;  // absolute end: the partition's, or the disk's when sooner
    uint64_t recordCount_ = 0;
    std::unique_ptr<MftRecordMap> recordMap_;
    uint32_t bytesPerCluster_ = 0;
    uint32_t recordSize_ = 0;
    ClusterBitmap bitmap_;
    // The worker's piece reader and folder memory; the lock keeps them
    // whole should describe ever be called from two threads.
    std::mutex tableMutex_;
    std::unique_ptr<MftTableReader> table_;
    std::unique_ptr<FolderPaths> folders_;
};

}  // namespace undelete
