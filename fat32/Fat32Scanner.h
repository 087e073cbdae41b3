// Scanner of FAT32 partitions: finds the deleted entries in the first
// cluster of every directory and reads a deleted file's clusters as one
// contiguous run from its first cluster. The FAT itself is never read.
#pragma once
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "app/VolumeScanner.h"
#include "fat32/DeletedEntry.h"

namespace undelete {

extern const char kFat32PreparingMessage[];
extern const char kFat32ReadyMessage[];

class Fat32Scanner : public VolumeScanner {
public:
    // Deeper directories are not walked, so a damaged tree cannot exhaust
    // memory with one cluster buffer per level.
    static constexpr int kMaxDirectoryDepth = 64;

    uint64_t firstDataSector = 0;  // absolute sector of cluster 2
    uint64_t partitionStart = 0;   // absolute sector of the boot sector
    uint8_t sectorsPerCluster = 0;
    uint32_t fatSize = 0;
    uint16_t reservedSectors = 0;
    uint8_t numberOfFats = 0;
    uint32_t rootCluster = 0;
    std::vector<DeletedEntry> catalogue;  // in the order the walk found them

    bool open(const PartitionRecord* record) override;
    bool hasItem(uint32_t index) override;
    bool describe(uint32_t index, ResultRow& row) override;
    bool readContent(uint32_t index, std::vector<uint8_t>& data, uint64_t& length) override;

    uint64_t clusterSector(uint32_t cluster) const;

private:
    bool readBootSector();
    // Reads the first cluster of the directory at `cluster` and walks it.
    // False only when the cluster could not be had; a cluster already
    // walked, or one below the depth limit, is passed over.
    bool readDirectory(uint32_t cluster);
    bool parseDirectoryEntries(const uint8_t* buffer, uint32_t length);
    // sectorsPerCluster × the drive's sector size; 0 when unusable.
    uint32_t clusterBytes() const;

    std::unordered_set<uint32_t> walkedClusters_;
    int depth_ = 0;
};

}  // namespace undelete
