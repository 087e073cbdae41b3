// One deleted FAT directory entry as the catalogue keeps it.
#pragma once
#include <cstdint>
#include <string>

#include "scan/DeletedFile.h"

namespace undelete {

struct DeletedEntry {
    uint16_t creationTime = 0;      // DIR_CrtTime, as stored
    uint8_t creationHundredths = 0;  // DIR_CrtTimeTenth: 10 ms units, 0 to 199
    uint16_t creationDate = 0;      // DIR_CrtDate, as stored
    uint16_t firstClusterLow = 0;   // DIR_FstClusLO
    uint16_t firstClusterHigh = 0;  // DIR_FstClusHI
    uint32_t fileSize = 0;          // DIR_FileSize
    std::string name;               // whole, in the process's multibyte encoding
    uint32_t folder = 0;            // the scanner's index of the folder it was found in
    FileState state = FileState::Unknown;  // set by the scanner from the FAT
    FileOrigin origin = FileOrigin::Table;

    // All 32 bits: the reserved top four bits are kept.
    uint32_t firstCluster() const {
        return (static_cast<uint32_t>(firstClusterHigh) << 16) | firstClusterLow;
    }
};

// Whole clusters needed to hold `fileSize` bytes, rounded up without wrap;
// 0 for an empty file. `clusterBytes` must not be 0.
inline uint64_t clustersForSize(uint32_t fileSize, uint64_t clusterBytes) {
    return (static_cast<uint64_t>(fileSize) + clusterBytes - 1) / clusterBytes;
}

}  // namespace undelete
