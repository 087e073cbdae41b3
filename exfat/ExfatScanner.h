// Scanner of exFAT volumes: walks the root and every directory along its
// clusters (one run when marked "no FAT chain", else along the FAT), and
// deleted folders while their clusters still read as entry sets; lists
// every deleted file's entry set with its name, times and sizes; tells
// from the allocation bitmap whether live files have taken its clusters;
// describes its content by the layout its set and the FAT give
// (ExfatClusterRuns.h). The deeper scan also reads the free clusters for
// the folders nothing links to any more (exfat/ExfatOrphanPass.h).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exfat/ExfatClusterRuns.h"
#include "exfat/ExfatDirectory.h"
#include "exfat/ExfatFat.h"
#include "partition/ExfatBootSector.h"
#include "scan/ClusterMap.h"
#include "scan/ClusterWalkScanner.h"

namespace undelete {

class ExfatScanner : public ClusterWalkScanner {
public:
    // A directory is read in windows of this many bytes (and the tail of
    // one entry set carried into the next), whatever its clusters' size.
    static constexpr uint32_t kWindowBytes = 64u << 10;

    using ClusterWalkScanner::ClusterWalkScanner;

    bool open(const PartitionRecord* record) override;
    bool hasItem(uint32_t index) override { return index < catalogue_.size(); }
    uint64_t itemCount() override { return catalogue_.size(); }
    bool describe(uint32_t index, DeletedFile& file) override;
    bool layout(uint32_t index, FileLayout& layout) override;
    // The allocation bitmap, when it was read whole.
    bool allocation(const ClusterMap*& map, ClusterGeometry& clusters) override {
        if (!bitmapKnown_ || clusterBytes_ == 0) return false;
        map = &bitmap_;
        clusters = {firstDataOffset_, 2, clusterBytes_};
        return true;
    }

private:
    // One deleted file as its entry set gave it.
    struct Item {
        std::string name;
        uint32_t folder = 0;
        ExfatTimestamp created;
        uint32_t firstCluster = 0;
        uint64_t validDataLength = 0;
        uint64_t dataLength = 0;
        bool noFatChain = false;
        bool checksumValid = false;
        bool extentValid = false;
        ExfatLayout layout = ExfatLayout::FreeAfterFirst;
        FileState state = FileState::Unknown;
        FileOrigin origin = FileOrigin::Table;
    };
    // What a directory's walk reads: its clusters, and whether it was
    // deleted (its clusters then end where they stop reading as entries).
    struct DirectorySource {
        ExfatLayout layout = ExfatLayout::FatChain;
        uint32_t first = 0;
        uint64_t clusters = 0;
        bool deleted = false;
    };

    bool readBootSector();
    bool readBootRegion(ExfatBootSector& boot);
    uint64_t clustersFor(uint64_t bytes) const { return (bytes + clusterBytes_ - 1) / clusterBytes_; }

    // Directories are read in pieces of a cluster, or of a window when
    // clusters are larger.
    uint32_t pieceBytes() const;

    // Reads the root until its allocation bitmap's entry; false when not
    // a byte of the root could be read.
    bool findRootEntries(ExfatRootEntries& root);
    // Unreadable parts of the bitmap count as free and leave states unknown.
    void loadBitmap(const ExfatRootRun& run);
    // Walks one directory; false when not a byte of it could be read.
    bool walkDirectory(const DirectorySource& source, uint32_t folder);
    void take(const ExfatEntrySet& set, uint32_t folder, bool inDeletedFolder);
    static Item itemOf(const ExfatEntrySet& set, uint32_t folder);
    // The deep scan's pass over the free clusters (exfat/ExfatOrphanPass.h).
    void findOrphans();
    void enter(const ExfatEntrySet& set, uint32_t parent, bool parentDeleted);

    // Its valid data's clusters in its layout; false when its set does not
    // place them inside the volume.
    bool layout(const Item& item, FileLayout& where);
    FileState stateOf(const Item& item);

    std::unique_ptr<ExfatFat> fat_;
    ClusterMap bitmap_;
    bool bitmapKnown_ = false;
    uint64_t fatOffset_ = 0;   // absolute byte offset of the FAT in use
    bool secondBitmap_ = false;  // the second FAT and its bitmap are in use
    uint32_t rootCluster_ = 0;
    std::vector<Item> catalogue_;
};

}  // namespace undelete
