// One deleted FAT32 directory entry as the catalogue keeps it, and the
// texts a listed entry is shown with.
#pragma once
#include <cstdint>

#include "app/VolumeScanner.h"

namespace undelete {

constexpr size_t kDeletedNameBytes = 260;

struct DeletedEntry {
    uint16_t creationTime = 0;      // DIR_CrtTime, as stored
    uint16_t creationDate = 0;      // DIR_CrtDate, as stored
    uint16_t firstClusterLow = 0;   // DIR_FstClusLO
    uint16_t firstClusterHigh = 0;  // DIR_FstClusHI
    uint32_t fileSize = 0;          // DIR_FileSize
    char name[kDeletedNameBytes] = {};  // zero-terminated multibyte text, at most 200 bytes

    // All 32 bits: the reserved top four bits are kept.
    uint32_t firstCluster() const {
        return (static_cast<uint32_t>(firstClusterHigh) << 16) | firstClusterLow;
    }
};

// "year/month/day hh:mm:ss" of the FAT date and time words, values shown as
// stored (no range check, seconds doubled).
void formatEntryTime(uint16_t date, uint16_t time, char out[25]);

// Size text, time text and name of `entry`.
void describeDeletedEntry(const DeletedEntry& entry, ResultRow& row);

}  // namespace undelete
