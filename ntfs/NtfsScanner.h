// Scanner of NTFS partitions: maps every record of the master file table
// to its place on the drive, lists deleted records that still hold a name
// and reads their content, resident or in runs.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "app/VolumeScanner.h"
#include "ntfs/MftRecord.h"
#include "ntfs/MftRecordMap.h"

namespace undelete {

class NtfsScanner : public VolumeScanner {
public:
    uint64_t partitionOffset = 0;  // absolute byte offset of the partition
    uint64_t partitionBytes = 0;   // its size as the partition table gives it
    uint64_t recordCount = 0;
    std::unique_ptr<MftRecordMap> recordMap;
    uint32_t bytesPerCluster = 0;
    uint32_t recordSize = 0;

    // Reads the boot sector, asks the volume locator for the table's valid
    // data length and maps the records.
    bool open(const PartitionRecord* record) override;

    // True for every index below recordCount.
    bool hasItem(uint32_t index) override;

    // True for a deleted record (flags 0) with a name outside the DOS
    // namespace: its size, creation time and name are written to `row`.
    bool describe(uint32_t index, ResultRow& row) override;

    // The record's content: a copy of the resident value, or the clusters of
    // every run of the non-resident one (sparse runs as zeros) in a buffer of
    // the allocated size, of which `length` bytes are the file.
    bool readContent(uint32_t index, std::vector<uint8_t>& data, uint64_t& length) override;

    // Reads and parses record 0 and maps the records its run list covers.
    bool buildRecordMap(uint64_t validLength, uint64_t mftCluster);

private:
    // Reads and parses record `index`; false (no read) when the map holds
    // no position for it.
    bool readRecord(uint32_t index, bool notInUseOnly, MftRecordInfo& info);
    bool readRuns(const MftRecordInfo& info, std::vector<uint8_t>& data);
    void readClusters(uint64_t cluster, uint8_t* buffer, uint64_t bytes);
};

}  // namespace undelete
