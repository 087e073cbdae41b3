#include "partition/FatBootSector.h"

#include <algorithm>

#include "common/Bytes.h"

namespace undelete {

namespace {

constexpr uint32_t kDirectoryEntryBytes = 32;

bool isPowerOfTwo(uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

FatBootCheck checkFields(const uint8_t* sector) {
    if (sector[kFatBootSignature] != 0x55 || sector[kFatBootSignature + 1] != 0xAA) {
        return FatBootCheck::NoSignature;
    }
    const uint16_t bytes = le16(sector + kBpbBytsPerSec);
    if (!isPowerOfTwo(bytes) || bytes < 512 || bytes > 4096) return FatBootCheck::SectorSize;
    if (!isPowerOfTwo(sector[kBpbSecPerClus])) return FatBootCheck::ClusterSize;
    if (le16(sector + kBpbRsvdSecCnt) == 0) return FatBootCheck::ReservedSectors;
    if (sector[kBpbNumFats] == 0) return FatBootCheck::FatCount;
    const uint8_t media = sector[kBpbMedia];
    if (media != 0xF0 && media < 0xF8) return FatBootCheck::Media;
    return FatBootCheck::Ok;
}

FatBootSector fieldsOf(const uint8_t* sector) {
    FatBootSector b;
    b.bytesPerSector = le16(sector + kBpbBytsPerSec);
    b.sectorsPerCluster = sector[kBpbSecPerClus];
    b.reservedSectors = le16(sector + kBpbRsvdSecCnt);
    b.numberOfFats = sector[kBpbNumFats];
    b.rootEntryCount = le16(sector + kBpbRootEntCnt);
    const uint16_t fatSize16 = le16(sector + kBpbFatSz16);
    b.fatSize = fatSize16 != 0 ? fatSize16 : le32(sector + kBpbFatSz32);
    const uint16_t total16 = le16(sector + kBpbTotSec16);
    b.totalSectors = total16 != 0 ? total16 : le32(sector + kBpbTotSec32);
    b.hiddenSectors = le32(sector + kBpbHiddSec);
    if (fatSize16 == 0) {
        b.rootCluster = le32(sector + kBpbRootClus);
        b.backupBootSector = le16(sector + kBpbBkBootSec);
    }
    return b;
}

}  // namespace

uint32_t fatClusterCeiling(FatType type) {
    switch (type) {
    case FatType::Fat12: return 0xFF7u;
    case FatType::Fat16: return 0xFFF7u;
    default: return 0x0FFFFFF7u;
    }
}

uint32_t FatBootSector::rootDirectorySectors() const {
    if (bytesPerSector == 0) return 0;
    return (uint32_t{rootEntryCount} * kDirectoryEntryBytes + bytesPerSector - 1) / bytesPerSector;
}

uint64_t FatBootSector::rootDirectorySector() const {
    return reservedSectors + uint64_t{numberOfFats} * fatSize;
}

uint64_t FatBootSector::firstDataSector() const {
    return rootDirectorySector() + rootDirectorySectors();
}

uint64_t FatBootSector::clusterSector(uint32_t cluster) const {
    return firstDataSector() + uint64_t{cluster - 2} * sectorsPerCluster;
}

uint32_t FatBootSector::clusterLimit() const {
    // Entries of 12 bits (two in three bytes), 16 or 32.
    const uint64_t tableBits = uint64_t{fatSize} * bytesPerSector * 8;
    const uint64_t tableEntries =
        tableBits / (type == FatType::Fat12 ? 12 : type == FatType::Fat16 ? 16 : 32);
    const uint64_t limit = std::min<uint64_t>({uint64_t{clusterCount} + 2, tableEntries,
                                               fatClusterCeiling(type)});
    return limit < 2 ? 2u : static_cast<uint32_t>(limit);
}

uint32_t FatBootSector::clusterLimitWithin(uint64_t volumeSectors) const {
    const uint64_t dataStart = firstDataSector();
    if (sectorsPerCluster == 0 || volumeSectors <= dataStart) return 2;
    const uint64_t present = 2 + (volumeSectors - dataStart) / sectorsPerCluster;
    return static_cast<uint32_t>(std::min<uint64_t>(present, clusterLimit()));
}

FatType fatTypeForClusterCount(uint32_t clusters) {
    if (clusters < kFat16MinClusters) return FatType::Fat12;
    if (clusters < kFat32MinClusters) return FatType::Fat16;
    return FatType::Fat32;
}

FatBootCheck decodeFatBootSector(const uint8_t* sector, size_t length, FatBootSector& out) {
    if (sector == nullptr || length < kFatBootSectorBytes) return FatBootCheck::TooShort;
    const FatBootCheck fields = checkFields(sector);
    if (fields != FatBootCheck::Ok) return fields;
    FatBootSector boot = fieldsOf(sector);
    if (boot.totalSectors == 0) return FatBootCheck::TotalSectors;
    if (boot.fatSize == 0) return FatBootCheck::FatSize;
    const uint64_t dataStart = boot.firstDataSector();
    if (dataStart >= boot.totalSectors) return FatBootCheck::NoDataArea;
    boot.clusterCount = static_cast<uint32_t>((boot.totalSectors - dataStart) / boot.sectorsPerCluster);
    if (boot.clusterCount == 0) return FatBootCheck::NoDataArea;
    boot.type = fatTypeForClusterCount(boot.clusterCount);
    // A FAT32 layout has no FATSz16 and no fixed root; FAT12/16 have both.
    const bool fat32Layout = le16(sector + kBpbFatSz16) == 0;
    const bool fixedRoot = boot.rootEntryCount != 0;
    out = boot;
    if (fat32Layout != (boot.type == FatType::Fat32) || fixedRoot == fat32Layout) {
        return FatBootCheck::LayoutMismatch;
    }
    return FatBootCheck::Ok;
}

}  // namespace undelete
