#include "partition/VolumeProbe.h"

#include "partition/ExfatBootSector.h"
#include "partition/FatBootSector.h"
#include "partition/NtfsBootSector.h"

namespace undelete {
namespace {

FileSystemKind kindOf(FatType type) {
    switch (type) {
    case FatType::Fat12: return FileSystemKind::Fat12;
    case FatType::Fat16: return FileSystemKind::Fat16;
    default: return FileSystemKind::Fat32;
    }
}

}  // namespace

FileSystemKind detectFileSystem(const uint8_t* sector, size_t length) {
    if (sector == nullptr || length < 512) return FileSystemKind::Unknown;
    ExfatBootSector exfat;
    if (decodeExfatBootSector(sector, length, exfat) == ExfatBootCheck::Ok) {
        return FileSystemKind::Exfat;
    }
    NtfsBootFields ntfs;
    if (decodeNtfsBootSector(sector, ntfs)) return FileSystemKind::Ntfs;
    FatBootSector fat;
    if (decodeFatBootSector(sector, length, fat) == FatBootCheck::Ok) return kindOf(fat.type);
    return FileSystemKind::Unknown;
}

uint64_t volumeSectorsClaimed(const uint8_t* sector, size_t length) {
    if (sector == nullptr || length < 512) return 0;
    ExfatBootSector exfat;
    if (decodeExfatBootSector(sector, length, exfat) == ExfatBootCheck::Ok) {
        return exfat.volumeLength;
    }
    NtfsBootFields ntfs;
    if (decodeNtfsBootSector(sector, ntfs)) return ntfs.totalSectors;
    FatBootSector fat;
    if (decodeFatBootSector(sector, length, fat) == FatBootCheck::Ok) return fat.totalSectors;
    return 0;
}

const char* fileSystemName(FileSystemKind kind) {
    switch (kind) {
    case FileSystemKind::Fat12: return "FAT12";
    case FileSystemKind::Fat16: return "FAT16";
    case FileSystemKind::Fat32: return "FAT32";
    case FileSystemKind::Exfat: return "exFAT";
    case FileSystemKind::Ntfs: return "NTFS";
    default: return "UNKNOWN";
    }
}

bool probedMbrType(uint8_t type) {
    switch (type) {
    case 0x00:
    case 0x05:
    case 0x0F:
    case 0x85: return false;
    default: return true;
    }
}

FileSystemKind scannedFileSystem(const PartitionRecord& record) {
    if (record.fileSystem != FileSystemKind::NotProbed &&
        record.fileSystem != FileSystemKind::Unknown) {
        return record.fileSystem;
    }
    if (record.table != PartitionTableKind::Mbr) return record.fileSystem;
    switch (record.partitionType) {
    case 0x07: return FileSystemKind::Ntfs;
    case 0x01: return FileSystemKind::Fat12;
    case 0x04:
    case 0x06:
    case 0x0E: return FileSystemKind::Fat16;
    case 0x0B:
    case 0x0C: return FileSystemKind::Fat32;
    default: return FileSystemKind::Unknown;
    }
}

}  // namespace undelete
