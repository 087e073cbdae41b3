// The exFAT boot sector: the volume's geometry, every field checked against
// the format's ranges and against the others, so that a scanner built on
// it never computes a place outside the volume the sector describes. Pure
// decoding: no I/O.
#pragma once
#include <cstddef>
#include <cstdint>

namespace undelete {

// Offsets within the main boot sector (published field names).
constexpr size_t kExfatFileSystemName = 3;  // "EXFAT   "
constexpr size_t kExfatMustBeZero = 11;     // 53 bytes where a FAT BPB would lie
constexpr size_t kExfatMustBeZeroBytes = 53;
constexpr size_t kExfatPartitionOffset = 64;
constexpr size_t kExfatVolumeLength = 72;
constexpr size_t kExfatFatOffset = 80;
constexpr size_t kExfatFatLength = 84;
constexpr size_t kExfatClusterHeapOffset = 88;
constexpr size_t kExfatClusterCount = 92;
constexpr size_t kExfatFirstClusterOfRootDirectory = 96;
constexpr size_t kExfatVolumeSerialNumber = 100;
constexpr size_t kExfatFileSystemRevision = 104;
constexpr size_t kExfatVolumeFlags = 106;
constexpr size_t kExfatBytesPerSectorShift = 108;
constexpr size_t kExfatSectorsPerClusterShift = 109;
constexpr size_t kExfatNumberOfFats = 110;
constexpr size_t kExfatPercentInUse = 112;
constexpr size_t kExfatBootSignature = 510;  // 0x55 0xAA, at 510 whatever the sector size
constexpr size_t kExfatBootSectorBytes = 512;

// The boot region: the boot sector, eight extended boot sectors, the OEM
// parameters, a reserved sector, then the checksum sector; a backup follows.
constexpr uint32_t kExfatChecksummedSectors = 11;
constexpr uint32_t kExfatBootRegionSectors = 12;

// Which check a sector failed, in the order they are made.
enum class ExfatBootCheck : uint8_t {
    Ok,
    TooShort,           // fewer than 512 bytes
    NotExfat,           // no "EXFAT   " at byte 3
    NotZeroed,          // bytes 11 to 63 not all zero
    NoSignature,        // no 0x55 0xAA at 510
    Revision,           // major version not 1
    SectorSize,         // BytesPerSectorShift outside 9..12
    ClusterSize,        // a cluster over 32 MiB
    FatCount,           // NumberOfFats not 1 or 2, or the second FAT active with one
    VolumeLength,       // under 1 MiB
    FatOffset,          // FAT inside the boot regions, or past the cluster heap
    FatLength,          // too short for the clusters, or overlapping the heap
    ClusterHeapOffset,  // past the volume's end for its clusters
    ClusterCount,       // more clusters than the heap holds, or none
    RootCluster,        // root directory's cluster outside the heap
};

struct ExfatBootSector {
    uint64_t partitionOffset = 0;  // sectors, as the formatter wrote it (often 0)
    uint64_t volumeLength = 0;     // sectors
    uint32_t fatOffset = 0;        // sectors from the volume's start
    uint32_t fatLength = 0;        // sectors of one FAT
    uint32_t clusterHeapOffset = 0;  // sectors from the volume's start to cluster 2
    uint32_t clusterCount = 0;
    uint32_t rootCluster = 0;
    uint32_t serialNumber = 0;
    uint16_t revision = 0;
    uint16_t volumeFlags = 0;
    uint8_t bytesPerSectorShift = 0;     // 9..12
    uint8_t sectorsPerClusterShift = 0;  // 0..25 − bytesPerSectorShift
    uint8_t numberOfFats = 0;            // 1 or 2

    uint32_t sectorBytes() const { return 1u << bytesPerSectorShift; }
    uint32_t sectorsPerCluster() const { return 1u << sectorsPerClusterShift; }
    // At most 32 MiB.
    uint32_t clusterBytes() const { return 1u << (bytesPerSectorShift + sectorsPerClusterShift); }
    // One past the highest cluster number: clusters are 2 .. clusterCount + 1.
    uint32_t clusterLimit() const { return clusterCount + 2; }
    bool validCluster(uint32_t cluster) const { return cluster >= 2 && cluster < clusterLimit(); }
    // First sector of a valid cluster, from the volume's start.
    uint64_t clusterSector(uint32_t cluster) const {
        return clusterHeapOffset + (static_cast<uint64_t>(cluster - 2) << sectorsPerClusterShift);
    }
    // The FAT in use (VolumeFlags' ActiveFat picks the second of two), from
    // the volume's start.
    uint64_t activeFatSector() const {
        return fatOffset + ((volumeFlags & 1) != 0 ? uint64_t{fatLength} : 0);
    }
};

// True when bytes 3 to 10 read "EXFAT   ".
bool hasExfatName(const uint8_t* sector, size_t length);

// Decodes and checks the boot sector at the start of `sector`; `out` is
// filled only when the result is Ok.
ExfatBootCheck decodeExfatBootSector(const uint8_t* sector, size_t length, ExfatBootSector& out);

// True when `region` holds a boot region of `sectorBytes` sectors (at least
// twelve of them) whose checksum sector repeats the checksum of the eleven
// before it, VolumeFlags and PercentInUse left out: tells an intact main or
// backup region.
bool exfatBootChecksumMatches(const uint8_t* region, size_t length, uint32_t sectorBytes);

}  // namespace undelete
