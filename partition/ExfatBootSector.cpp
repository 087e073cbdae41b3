#include "partition/ExfatBootSector.h"

#include <cstring>

#include "common/Bytes.h"

namespace undelete {

namespace {

// Two boot regions of twelve sectors come before the first FAT.
constexpr uint32_t kLowestFatOffset = 2 * kExfatBootRegionSectors;
// Clusters above this number are reserved for the FAT's marks.
constexpr uint32_t kHighestClusterCount = 0xFFFFFFF5u;
constexpr uint32_t kLargestClusterShift = 25;  // 32 MiB

ExfatBootSector fieldsOf(const uint8_t* sector) {
    ExfatBootSector b;
    b.partitionOffset = le64(sector + kExfatPartitionOffset);
    b.volumeLength = le64(sector + kExfatVolumeLength);
    b.fatOffset = le32(sector + kExfatFatOffset);
    b.fatLength = le32(sector + kExfatFatLength);
    b.clusterHeapOffset = le32(sector + kExfatClusterHeapOffset);
    b.clusterCount = le32(sector + kExfatClusterCount);
    b.rootCluster = le32(sector + kExfatFirstClusterOfRootDirectory);
    b.serialNumber = le32(sector + kExfatVolumeSerialNumber);
    b.revision = le16(sector + kExfatFileSystemRevision);
    b.volumeFlags = le16(sector + kExfatVolumeFlags);
    b.bytesPerSectorShift = sector[kExfatBytesPerSectorShift];
    b.sectorsPerClusterShift = sector[kExfatSectorsPerClusterShift];
    b.numberOfFats = sector[kExfatNumberOfFats];
    return b;
}

// The ranges of the fields on their own.
ExfatBootCheck checkRanges(const ExfatBootSector& b) {
    if ((b.revision >> 8) != 1) return ExfatBootCheck::Revision;
    if (b.bytesPerSectorShift < 9 || b.bytesPerSectorShift > 12) return ExfatBootCheck::SectorSize;
    if (b.sectorsPerClusterShift > kLargestClusterShift - b.bytesPerSectorShift) {
        return ExfatBootCheck::ClusterSize;
    }
    if ((b.numberOfFats != 1 && b.numberOfFats != 2) ||
        (b.numberOfFats == 1 && (b.volumeFlags & 1) != 0)) {
        return ExfatBootCheck::FatCount;
    }
    if (b.volumeLength < ((uint64_t{1} << 20) >> b.bytesPerSectorShift)) {
        return ExfatBootCheck::VolumeLength;
    }
    return ExfatBootCheck::Ok;
}

// The regions in their order: boot regions, FATs, cluster heap, all inside
// the volume. In 64 bits: no sum wraps.
ExfatBootCheck checkLayout(const ExfatBootSector& b) {
    const uint64_t fats = uint64_t{b.fatLength} * b.numberOfFats;
    if (b.fatOffset < kLowestFatOffset || b.fatOffset + fats > b.clusterHeapOffset) {
        return ExfatBootCheck::FatOffset;
    }
    const uint64_t fatBytesNeeded = (uint64_t{b.clusterCount} + 2) * 4;
    const uint64_t fatSectorsNeeded = (fatBytesNeeded + b.sectorBytes() - 1) >> b.bytesPerSectorShift;
    if (b.fatLength < fatSectorsNeeded) return ExfatBootCheck::FatLength;
    if (b.clusterHeapOffset > b.volumeLength) return ExfatBootCheck::ClusterHeapOffset;
    const uint64_t heapSectors = uint64_t{b.clusterCount} << b.sectorsPerClusterShift;
    if (b.clusterCount == 0 || b.clusterCount > kHighestClusterCount ||
        heapSectors > b.volumeLength - b.clusterHeapOffset) {
        return ExfatBootCheck::ClusterCount;
    }
    if (!b.validCluster(b.rootCluster)) return ExfatBootCheck::RootCluster;
    return ExfatBootCheck::Ok;
}

}  // namespace

bool hasExfatName(const uint8_t* sector, size_t length) {
    return sector != nullptr && fits(kExfatFileSystemName, 8, length) &&
           std::memcmp(sector + kExfatFileSystemName, "EXFAT   ", 8) == 0;
}

ExfatBootCheck decodeExfatBootSector(const uint8_t* sector, size_t length, ExfatBootSector& out) {
    if (sector == nullptr || length < kExfatBootSectorBytes) return ExfatBootCheck::TooShort;
    if (!hasExfatName(sector, length)) return ExfatBootCheck::NotExfat;
    for (size_t i = 0; i < kExfatMustBeZeroBytes; ++i) {
        if (sector[kExfatMustBeZero + i] != 0) return ExfatBootCheck::NotZeroed;
    }
    if (sector[kExfatBootSignature] != 0x55 || sector[kExfatBootSignature + 1] != 0xAA) {
        return ExfatBootCheck::NoSignature;
    }
    const ExfatBootSector boot = fieldsOf(sector);
    ExfatBootCheck check = checkRanges(boot);
    if (check == ExfatBootCheck::Ok) check = checkLayout(boot);
    if (check == ExfatBootCheck::Ok) out = boot;
    return check;
}

bool exfatBootChecksumMatches(const uint8_t* region, size_t length, uint32_t sectorBytes) {
    if (region == nullptr || sectorBytes < kExfatBootSectorBytes) return false;
    const uint64_t summed = uint64_t{sectorBytes} * kExfatChecksummedSectors;
    if (!fits(0, summed + sectorBytes, length)) return false;
    uint32_t sum = 0;
    for (size_t i = 0; i < summed; ++i) {
        if (i == kExfatVolumeFlags || i == kExfatVolumeFlags + 1 || i == kExfatPercentInUse) continue;
        sum = ((sum & 1) != 0 ? 0x80000000u : 0) + (sum >> 1) + region[i];
    }
    for (size_t at = summed; at + 4 <= summed + sectorBytes; at += 4) {
        if (le32(region + at) != sum) return false;
    }
    return true;
}

}  // namespace undelete
