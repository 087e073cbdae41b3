// One deleted FAT32 directory entry as the catalogue keeps it.
#pragma once
#include <cstdint>
#include <string>

#include "scan/DeletedFile.h"

namespace undelete {

struct DeletedEntry {
    uint16_t creationTime = 0;      // DIR_CrtTime, as stored
    uint16_t creationDate = 0;      // DIR_CrtDate, as stored
    uint16_t firstClusterLow = 0;   // DIR_FstClusLO
    uint16_t firstClusterHigh = 0;  // DIR_FstClusHI
    uint32_t fileSize = 0;          // DIR_FileSize
    std::string name;               // whole, in the process's multibyte encoding

    // All 32 bits: the reserved top four bits are kept.
    uint32_t firstCluster() const {
        return (static_cast<uint32_t>(firstClusterHigh) << 16) | firstClusterLow;
    }
};

// Name, size and creation time of `entry`.
void describeDeletedEntry(const DeletedEntry& entry, DeletedFile& file);

}  // namespace undelete
