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

// The absolute byte offset of `cluster` on a volume that starts at byte
// `volumeOffset`; false when it would lie beyond 2^64 (a damaged cluster
// number must not wrap into a read somewhere else).
inline bool clusterByteOffset(uint64_t volumeOffset, uint64_t cluster, uint32_t bytesPerCluster,
                              uint64_t& offset) {
    if (bytesPerCluster == 0 || cluster > (UINT64_MAX - volumeOffset) / bytesPerCluster) {
        return false;
    }
    offset = volumeOffset + cluster * bytesPerCluster;
    return true;
}

}  // namespace undelete
