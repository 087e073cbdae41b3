// Scanner of NTFS partitions: maps every record of the master file table
// to its place on the drive, lists deleted records that still hold a name
// and reads their content, resident or in runs.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "disk/DriveReader.h"
#include "ntfs/MftRecord.h"
#include "ntfs/MftRecordMap.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete {

class NtfsScanner : public VolumeScanner {
public:
    explicit NtfsScanner(const ScanContext& context);

    // Reads the boot sector and the table's own record, learns the table's
    // valid data length (from the context's lookup when it has one, else
    // from that record) and maps the records.
    bool open(const PartitionRecord* record) override;

    // True for every index below the record count.
    bool hasItem(uint32_t index) override;
    uint64_t itemCount() override { return recordCount_; }

    // True for a deleted record (flags 0) with a name outside the DOS
    // namespace: its name, size and creation time are written to `file`.
    bool describe(uint32_t index, DeletedFile& file) override;

    // The record's content: the resident value, or the clusters of every
    // run of the non-resident one in list order (sparse runs as holes),
    // up to the data size; what the runs leave uncovered reads as zeros.
    bool readContent(uint32_t index, ContentSink& sink) override;

private:
    bool buildRecordMap(uint32_t serial, uint64_t mftCluster);
    // Reads and parses record `index`; false (no read) when the map holds
    // no position for it.
    bool readRecord(uint32_t index, bool notInUseOnly, MftRecordInfo& info);
    bool streamRuns(const MftRecordInfo& info, uint64_t length, ContentSink& sink);
    bool streamClusters(uint64_t cluster, uint64_t bytes, ContentSink& sink,
                        std::vector<uint8_t>& piece);

    DriveReader drive_;
    MftLengthLookup mftValidDataLength_;
    uint64_t partitionOffset_ = 0;  // absolute byte offset of the partition
    uint64_t partitionBytes_ = 0;   // its size as the partition table gives it
    uint64_t recordCount_ = 0;
    std::unique_ptr<MftRecordMap> recordMap_;
    uint32_t bytesPerCluster_ = 0;
    uint32_t recordSize_ = 0;
};

}  // namespace undelete
