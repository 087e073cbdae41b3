// One partition-table entry with its decoded values and its place on the
// disk. The partition's absolute first sector is baseSector + relativeSectors.
#pragma once
#include <cstdint>

namespace undelete {

// What the walk found on the disk; on a record, where its row came from.
enum class PartitionTableKind : uint8_t {
    Unreadable,  // the disk or its sector 0 could not be read
    None,        // neither a boot signature nor a volume in sector 0: no rows
    Mbr,         // master boot record and the extended chain behind it
    Gpt,         // GUID partition table behind a protective MBR entry
    BareVolume,  // sector 0 is a volume's boot sector: the whole disk is one row
    Found,       // a record only: a volume no table names, found by its boot
                 // sector or a backup of it (partition/VolumeSearch.h)
};

// The file system a partition's boot sector holds, as its own decoder tells
// (partition/VolumeProbe.h). It names the row and picks the scanner.
enum class FileSystemKind : uint8_t {
    NotProbed,  // an extended container row (0x85), or a record no walk filled
    Unknown,    // probed: no boot sector of a known file system (or unreadable)
    Fat12,
    Fat16,
    Fat32,
    Exfat,
    Ntfs,
};

struct PartitionRecord {
    uint8_t bootIndicator = 0;  // 0x80 active; GPT rows: the legacy-BIOS-bootable attribute
    uint16_t startHead = 0;
    uint16_t startSector = 0;
    uint16_t startCylinder = 0;
    // The entry's type byte. GPT and bare-volume rows carry the MBR type of
    // the file system found (0x01 FAT12, 0x06 FAT16, 0x0C FAT32, 0x07 NTFS
    // and exFAT; 0xEE for any other GPT entry).
    uint8_t partitionType = 0;
    uint16_t endHead = 0;
    uint16_t endSector = 0;
    uint16_t endCylinder = 0;
    uint64_t relativeSectors = 0;
    uint64_t totalSectors = 0;  // the size the table claims, in sectors
    uint8_t reserved[8] = {};
    uint64_t baseSector = 0;     // absolute sector relativeSectors counts from
    uint64_t extendedStart = 0;  // first sector of the extended partition (logical ones)

    PartitionTableKind table = PartitionTableKind::Mbr;  // the row's origin
    FileSystemKind fileSystem = FileSystemKind::NotProbed;
    uint8_t typeGuid[16] = {};  // GPT rows: the entry's type GUID, bytes as on disk
    // The device's real size in sectors when the walk ran; 0 when the
    // device could not tell. Evidence that caps what the table claims.
    uint64_t deviceSectors = 0;
    // Bytes from the partition's first byte to the boot sector its scanner
    // decodes: 0 but for a found volume whose first sector is damaged and
    // whose backup told of it.
    uint64_t bootSectorOffset = 0;

    uint64_t firstSector() const { return baseSector + relativeSectors; }

    // The sectors of the partition that lie on the device: totalSectors cut
    // at the device's end (0 when the partition starts past it). A scanner
    // reads no further than firstSector() + presentSectors().
    uint64_t presentSectors() const {
        if (deviceSectors == 0) return totalSectors;
        const uint64_t first = firstSector();
        if (first < baseSector || first >= deviceSectors) return 0;  // past the end, or wrapped
        const uint64_t room = deviceSectors - first;
        return totalSectors < room ? totalSectors : room;
    }

    // The byte where the boot sector a scanner decodes lies, for a partition
    // whose first byte is `partitionOffset`; false when it would pass 2^64.
    bool bootSectorAt(uint64_t partitionOffset, uint64_t& offset) const {
        if (bootSectorOffset > UINT64_MAX - partitionOffset) return false;
        offset = partitionOffset + bootSectorOffset;
        return true;
    }

    // True when the table claims more than the device holds.
    bool reachesPastDevice() const { return presentSectors() < totalSectors; }
};

}  // namespace undelete
