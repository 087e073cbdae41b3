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

VolumeShape probeVolume(const uint8_t* sector, size_t length) {
    VolumeShape shape;
    if (sector == nullptr || length < 512) return shape;
    ExfatBootSector exfat;
    NtfsBootFields ntfs;
    FatBootSector fat;
    if (decodeExfatBootSector(sector, length, exfat) == ExfatBootCheck::Ok) {
        shape = {FileSystemKind::Exfat, exfat.sectorBytes(), exfat.volumeLength,
                 kExfatBootRegionSectors};
    } else if (decodeNtfsBootSector(sector, ntfs)) {
        shape = {FileSystemKind::Ntfs, ntfs.bytesPerSector, ntfs.totalSectors, ntfs.totalSectors};
    } else if (decodeFatBootSector(sector, length, fat) == FatBootCheck::Ok) {
        shape = {kindOf(fat.type), fat.bytesPerSector, fat.totalSectors, fat.backupBootSector};
    }
    return shape;
}

uint8_t mbrTypeFor(FileSystemKind kind, uint8_t otherwise) {
    switch (kind) {
    case FileSystemKind::Fat12: return 0x01;
    case FileSystemKind::Fat16: return 0x06;
    case FileSystemKind::Fat32: return 0x0C;
    case FileSystemKind::Exfat:
    case FileSystemKind::Ntfs: return 0x07;
    default: return otherwise;
    }
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
