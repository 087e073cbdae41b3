// The exFAT file allocation table, read from the disk in pieces as chains
// are followed. Unlike FAT32, an entry's 32 bits are all its own, and the
// table says nothing of which clusters are in use (the allocation bitmap
// does): a file written in one run has no chain in it at all.
#pragma once
#include <cstdint>
#include <vector>

#include "disk/DriveReader.h"
#include "scan/TablePieces.h"

namespace undelete {

constexpr uint32_t kExfatEndOfChain = 0xFFFFFFFFu;

class ExfatFat {
public:
    // `offset`: absolute byte offset of the table in use; entries of
    // clusters from 0 to `clusterLimit` − 1 are read.
    ExfatFat(DriveReader& drive, uint64_t offset, uint32_t clusterLimit);

    // The entry of `cluster`; false when it lies outside the volume or
    // could not be read.
    bool entry(uint32_t cluster, uint32_t& value);
    // True when the entry of `cluster` names a next cluster of the volume.
    bool next(uint32_t cluster, uint32_t& following);
    // True when the chain from `first` has exactly `clusters` clusters (its
    // last entry an end mark): the chain of a file of that length, not a
    // leftover or a loop.
    bool chainHolds(uint32_t first, uint64_t clusters);

private:
    TablePieces pieces_;
    uint32_t clusterLimit_;
};

}  // namespace undelete
