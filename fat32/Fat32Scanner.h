// Scanner of FAT32 partitions: finds the deleted entries in the first
// cluster of every directory and reads a deleted file's clusters as one
// contiguous run from its first cluster. The FAT itself is never read.
#pragma once
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "disk/DriveReader.h"
#include "fat32/DeletedEntry.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete {

extern const char kFat32PreparingMessage[];
extern const char kFat32ReadyMessage[];

class Fat32Scanner : public VolumeScanner {
public:
    // Deeper directories are not walked, so a damaged tree cannot exhaust
    // memory with one cluster buffer per level.
    static constexpr int kMaxDirectoryDepth = 64;

    explicit Fat32Scanner(const ScanContext& context);

    bool open(const PartitionRecord* record) override;
    bool hasItem(uint32_t index) override;
    uint64_t itemCount() override { return catalogue_.size(); }
    bool describe(uint32_t index, DeletedFile& file) override;
    bool readContent(uint32_t index, ContentSink& sink) override;

private:
    bool readBootSector();
    // Reads the first cluster of the directory at `cluster` and walks it.
    // False only when the cluster could not be had; a cluster already
    // walked, or one below the depth limit, is passed over.
    bool readDirectory(uint32_t cluster);
    uint64_t clusterSector(uint32_t cluster) const;
    // sectorsPerCluster × the drive's sector size; 0 when unusable.
    uint32_t clusterBytes() const;

    MessageSink messages_;
    DriveReader drive_;
    uint64_t partitionStart_ = 0;   // absolute sector of the boot sector
    uint64_t firstDataSector_ = 0;  // absolute sector of cluster 2
    uint8_t sectorsPerCluster_ = 0;
    uint32_t rootCluster_ = 0;
    std::vector<DeletedEntry> catalogue_;  // in the order the walk found them
    std::unordered_set<uint32_t> walkedClusters_;
    int depth_ = 0;
};

}  // namespace undelete
