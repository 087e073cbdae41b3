// The file allocation table of a FAT volume (entries of 12, 16 or 32
// bits), read from the disk in large pieces: the next cluster of a chain,
// and which clusters live files use.
#pragma once
#include <cstdint>
#include <vector>

#include "disk/DriveReader.h"
#include "fat/FatEntry.h"
#include "scan/BudgetedReader.h"
#include "scan/ClusterMap.h"

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
    static constexpr uint32_t kPieceBytes = 1u << 20;
    // Consecutive pieces that could not be read, in the first table and its
    // copy, after which the table is not read any more.
    static constexpr int kMaxConsecutiveFailures = 4;

    FatTable(DriveReader& drive, const FatLocation& where);

    // Reads the whole table once and marks the clusters in use. True when
    // every piece was read; otherwise the pieces that could not be read
    // count as free, and complete() stays false.
    bool load();
    bool complete() const { return complete_; }
    const ClusterMap& used() const { return used_; }

    // The entry of `cluster` (a FAT32 entry's reserved top bits masked
    // off); false when it could not be read or the cluster lies outside the
    // table.
    bool entry(uint32_t cluster, uint32_t& value);
    // What that entry says: Reserved as well when it cannot be read.
    FatLink link(uint32_t cluster, uint32_t& next);

private:
    static constexpr size_t kCachedPieces = 8;
    struct Piece {
        uint32_t index = 0;
        bool readable = false;
        std::vector<uint8_t> bytes;
    };
    const Piece* piece(uint32_t index);
    void markUsed(const Piece& piece);
    bool readPiece(uint32_t index, std::vector<uint8_t>& bytes);
    uint64_t tableBytes() const;

    BudgetedReader reads_;
    FatLocation where_;
    std::vector<Piece> cache_;  // most recently used last
    bool complete_ = false;
    ClusterMap used_;
};

}  // namespace undelete
