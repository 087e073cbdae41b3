// The NTFS boot sector: the fields the partition list and the scanner use,
// decoded without I/O. Both decide by this one decoder whether a volume is
// NTFS.
#pragma once
#include <cstdint>

namespace undelete {

// The record sizes the record parser takes.
constexpr uint32_t kNtfsMinRecordBytes = 1024;
constexpr uint32_t kNtfsMaxRecordBytes = 4096;

struct NtfsBootFields {
    // The volume's own sector (offset 11): clusters are counted in these,
    // whatever the sectors of the disk the volume lies on.
    uint32_t bytesPerSector = 0;
    uint32_t bytesPerCluster = 0;
    uint32_t recordSize = 0;  // MFT record size in bytes: 1024, 2048 or 4096
    uint64_t totalSectors = 0;  // the volume's size in its own sectors
    uint64_t mftCluster = 0;  // first cluster of the table
    uint32_t serial = 0;      // low half of the volume serial number
};

// Decodes the first 512 bytes of `sector` (which must hold them). False
// when the OEM id does not begin with "NTFS", the sector size is none of 512, 1024, 2048 and 4096,
// the cluster size comes out as zero or the record size as none the record
// parser takes.
bool decodeNtfsBootSector(const uint8_t* sector, NtfsBootFields& out);

}  // namespace undelete
