#include "partition/VolumeProbe.h"

#include <cstring>

#include "common/Bytes.h"

namespace undelete {
namespace {

// BIOS parameter block offsets shared by FAT32 and NTFS boot sectors.
constexpr size_t kOemId = 3;
constexpr size_t kBytesPerSector = 11;
constexpr size_t kSectorsPerCluster = 13;
constexpr size_t kReservedSectors = 14;
constexpr size_t kNumberOfFats = 16;
constexpr size_t kTotalSectors16 = 19;
constexpr size_t kFatSize16 = 22;
constexpr size_t kTotalSectors32 = 32;
constexpr size_t kFatSize32 = 36;
constexpr size_t kFat32Label = 82;
constexpr size_t kNtfsTotalSectors = 40;

bool saneSectorSize(const uint8_t* sector) {
    const uint16_t bytes = le16(sector + kBytesPerSector);
    return bytes == 512 || bytes == 1024 || bytes == 2048 || bytes == 4096;
}

bool isFat32(const uint8_t* sector) {
    const uint8_t perCluster = sector[kSectorsPerCluster];
    return std::memcmp(sector + kFat32Label, "FAT32   ", 8) == 0 && saneSectorSize(sector) &&
           perCluster != 0 && (perCluster & (perCluster - 1)) == 0 &&
           le16(sector + kReservedSectors) != 0 && sector[kNumberOfFats] != 0 &&
           le16(sector + kFatSize16) == 0 && le32(sector + kFatSize32) != 0;
}

bool isNtfs(const uint8_t* sector) {
    return std::memcmp(sector + kOemId, "NTFS    ", 8) == 0 && saneSectorSize(sector) &&
           sector[kSectorsPerCluster] != 0;
}

}  // namespace

FileSystemKind detectFileSystem(const uint8_t* sector, size_t length) {
    if (sector == nullptr || length < 512) return FileSystemKind::Unknown;
    if (isFat32(sector)) return FileSystemKind::Fat32;
    if (isNtfs(sector)) return FileSystemKind::Ntfs;
    return FileSystemKind::Unknown;
}

uint64_t volumeSectorsClaimed(const uint8_t* sector, size_t length) {
    switch (detectFileSystem(sector, length)) {
    case FileSystemKind::Fat32: {
        const uint32_t total = le32(sector + kTotalSectors32);
        return total != 0 ? total : le16(sector + kTotalSectors16);
    }
    case FileSystemKind::Ntfs: return le64(sector + kNtfsTotalSectors);
    default: return 0;
    }
}

const char* fileSystemName(FileSystemKind kind) {
    switch (kind) {
    case FileSystemKind::Fat32: return "FAT32";
    case FileSystemKind::Ntfs: return "NTFS";
    default: return "UNKNOWN";
    }
}

FileSystemKind scannedFileSystem(const PartitionRecord& record) {
    if (record.fileSystem != FileSystemKind::NotProbed) return record.fileSystem;
    switch (record.partitionType) {
    case 0x07: return FileSystemKind::Ntfs;
    case 0x0B:
    case 0x0C: return FileSystemKind::Fat32;
    default: return FileSystemKind::Unknown;
    }
}

}  // namespace undelete
