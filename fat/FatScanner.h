// Scanner of FAT volumes of every width (FAT12, FAT16, FAT32: the boot
// sector's cluster count decides): walks the root (a fixed region on FAT12
// and FAT16, a cluster chain on FAT32) and every directory along its
// cluster chain in the FAT, and deleted folders along the clusters that
// still hold their entries; reads a deleted file's content from its first
// cluster on over the clusters that are free now, and tells from the FAT
// whether live files have taken any of them.
#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "fat/DeletedEntry.h"
#include "fat/FatDirectoryParser.h"
#include "fat/FatTable.h"
#include "scan/ClusterWalkScanner.h"

namespace undelete {

extern const char kFatPreparingMessage[];
extern const char kFatReadyMessage[];

class FatScanner : public ClusterWalkScanner {
public:
    // The format's own limit: 65,536 entries of 32 bytes.
    static constexpr uint32_t kMaxDirectoryBytes = 2u << 20;

    using ClusterWalkScanner::ClusterWalkScanner;

    // Walks the directory tree (and, for a deep scan, the free clusters)
    // into the catalogue. A stop ends the walk or the pass and keeps what
    // was found.
    bool open(const PartitionRecord* record) override;
    bool hasItem(uint32_t index) override { return index < catalogue_.size(); }
    uint64_t itemCount() override { return catalogue_.size(); }
    bool describe(uint32_t index, DeletedFile& file) override;
    // From the first cluster on over the clusters free now; refused when
    // the volume ends before the file does.
    bool layout(uint32_t index, FileLayout& layout) override;
    // The FAT's clusters in use, when every piece of it was read.
    bool allocation(const ClusterMap*& map, ClusterGeometry& clusters) override {
        if (!fat_ || !fatKnown_ || clusterBytes_ == 0) return false;
        map = &fat_->used();
        clusters = {firstDataOffset_, 2, clusterBytes_};
        return true;
    }

private:
    bool readBootSector(const PartitionRecord& record);
    bool clusterFreeNow(uint32_t cluster) const;
    // Reads `count` clusters from `first` on, against the walk's budget of
    // failures in a row.
    bool readClusters(uint32_t first, uint32_t count, uint8_t* into);

    // False only when the directory's first cluster could not be had.
    bool walkLiveDirectory(uint32_t cluster, uint32_t folder);
    bool walkFixedRoot();
    void walkDeletedDirectory(uint32_t cluster, uint32_t folder);
    void walkEntries(const std::vector<uint8_t>& bytes, uint32_t folder, bool deletedFolder);
    // The deep scan's pass over the free clusters (fat/OrphanPass.h).
    void findOrphans();
    void enter(const Subdirectory& sub, uint32_t parent, bool parentDeleted);
    bool layout(const DeletedEntry& entry, FileLayout& where) const;
    FileState stateOf(const DeletedEntry& entry);

    FatType type_ = FatType::Fat32;
    uint32_t rootCluster_ = 0;      // FAT32 only
    uint64_t rootOffset_ = 0;       // FAT12/16: absolute byte offset of the fixed root
    uint32_t rootBytes_ = 0;        // and its length
    FatLocation fatLocation_;
    std::unique_ptr<FatTable> fat_;
    bool fatKnown_ = false;         // every piece of the FAT was read
    std::vector<DeletedEntry> catalogue_;  // in the order the walk found them
    std::unordered_map<uint32_t, uint32_t> folderAt_;  // a walked folder's index by its first cluster
};

}  // namespace undelete
