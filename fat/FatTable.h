// The file allocation table of a FAT volume (entries of 12, 16 or 32
// bits), read from the disk in large pieces: the next cluster of a chain,
// and which clusters live files use.
#pragma once
#include <cstdint>
#include <vector>

#include "disk/DriveReader.h"
#include "fat/FatEntry.h"
#include "scan/ClusterMap.h"
#include "scan/TablePieces.h"

namespace undelete {

// Where the tables lie and how much of them describes real clusters.
struct FatLocation {
    FatType type = FatType::Fat32;
    uint64_t firstOffset = 0;   // absolute byte offset of the first FAT
    uint64_t bytesPerFat = 0;
    uint8_t numberOfFats = 0;
    uint32_t clusterLimit = 2;  // one past the highest usable cluster
};

class FatTable {
public:
    FatTable(DriveReader& drive, const FatLocation& where);

    // Reads the whole table once and marks the clusters in use. True when
    // every piece was read; otherwise the pieces that could not be read
    // count as free.
    bool load();
    const ClusterMap& used() const { return used_; }

    // The entry of `cluster` (a FAT32 entry's reserved top bits masked
    // off); false when it could not be read or the cluster lies outside the
    // table.
    bool entry(uint32_t cluster, uint32_t& value);
    // What that entry says: Reserved as well when it cannot be read.
    FatLink link(uint32_t cluster, uint32_t& next);

private:
    void markUsed(const TablePieces::Piece& piece);

    FatLocation where_;
    TablePieces pieces_;
    ClusterMap used_;
};

}  // namespace undelete
