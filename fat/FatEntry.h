// Entries of a file allocation table in its three widths: 12 bits (two
// entries share three bytes, so an entry at an odd index starts in the
// middle of a byte), 16 bits, and 32 bits of which the top four are
// reserved. Pure decoding: no I/O.
#pragma once
#include <cstddef>
#include <cstdint>

#include "partition/FatBootSector.h"

namespace undelete {

// What an entry says of the cluster it belongs to.
enum class FatLink : uint8_t {
    Free,      // 0
    Next,      // the number of the chain's next cluster, inside the volume
    Bad,       // the bad-cluster mark
    End,       // an end-of-chain mark
    Reserved,  // 1, or a number past the volume's last cluster
};

// Byte offset of `cluster`'s entry from the table's start.
uint64_t fatEntryOffset(FatType type, uint32_t cluster);

// Bytes read for one entry from its offset: 2 for FAT12 (its 12 bits lie
// in them) and FAT16, 4 for FAT32.
size_t fatEntryWidth(FatType type);

// Table bytes that hold the entries of clusters 0 to clusterLimit − 1.
uint64_t fatTableBytes(FatType type, uint32_t clusterLimit);

// The entry of `cluster` from `bytes`, which hold the table from byte
// offset `base` on (the whole table, or a piece read from it); false when
// the entry's bytes do not all lie in them. The reserved top bits of a
// FAT32 entry are masked off.
bool fatEntryValue(FatType type, const uint8_t* bytes, size_t length, uint64_t base,
                   uint32_t cluster, uint32_t& value);

// What an entry value means on a volume whose clusters end before
// `clusterLimit`.
FatLink fatLinkOf(FatType type, uint32_t value, uint32_t clusterLimit);

}  // namespace undelete
