// The few fields of an NTFS boot sector the scanner uses, decoded without
// I/O.
#pragma once
#include <cstdint>

namespace undelete {

struct NtfsBootFields {
    uint32_t bytesPerCluster = 0;
    uint32_t recordSize = 0;  // MFT record size in bytes
    uint64_t mftCluster = 0;  // first cluster of the table
    uint32_t serial = 0;      // low half of the volume serial number
};

// Decodes the first 512 bytes of `sector`. False when the OEM id does not
// begin with "NTFS" or the cluster or record size comes out as zero.
bool decodeNtfsBootSector(const uint8_t* sector, uint32_t bytesPerSector, NtfsBootFields& out);

}  // namespace undelete
