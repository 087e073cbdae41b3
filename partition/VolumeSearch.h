// Finds the volumes that no partition table names any more (a wiped or
// damaged sector 0, a deleted entry) by their boot sectors. It reads only
// where volumes are made: every MiB, every cylinder of the disk's geometry
// (one of at least 16 heads of 63 sectors) and the track after it (where an
// older disk's first partition and each logical one begin), the sector after each volume found, and the disk's
// last sector. At each such place it reads a few sectors in one piece: the
// sector before (the last sector of a volume ending there, where NTFS keeps
// its backup boot sector, which tells where the volume began), the place
// itself (a volume's first sector), and 6 and 12 sectors in (FAT32's backup
// boot sector, exFAT's backup boot region), so a volume whose first sector
// is damaged is still found. Places close together are read together.
// Every candidate is checked by the decoders the partition list uses
// (partition/VolumeProbe.h). Nothing is written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "partition/PartitionRecord.h"

namespace undelete {

class DriveReader;

// Which copy of a boot sector a sector is read as.
enum class BootCopy : uint8_t {
    First,        // the volume's own first sector
    Fat32Backup,  // FAT32's copy, BkBootSec sectors in
    ExfatBackup,  // the first sector of exFAT's backup boot region, 12 sectors in
    NtfsBackup,   // NTFS's copy in the volume's last sector
};

// A volume one boot sector tells of.
struct VolumeCandidate {
    uint64_t start = 0;    // its first sector, the disk's
    uint64_t sectors = 0;  // its size in the disk's sectors, as its boot sector claims
    FileSystemKind kind = FileSystemKind::Unknown;
    // Bytes from the volume's first byte to the sector that told of it: 0
    // for its own first sector, else where its backup lies.
    uint64_t bootOffset = 0;

    bool operator==(const VolumeCandidate& o) const {
        return start == o.start && sectors == o.sectors && kind == o.kind &&
               bootOffset == o.bootOffset;
    }
};

// What `sector` (at least 512 bytes), lying at the disk's sector `at`, tells
// when read as `copy`: the volume it begins, or the volume whose backup it
// is. An NTFS backup sits after the volume's claimed sectors, so the volume
// began that many sectors earlier; a FAT32 or exFAT backup lies BkBootSec or
// 12 sectors in. False when no decoder takes the sector, it is not of the
// copy's file system, a backup's volume has other sectors than the disk's
// (the copy would lie elsewhere), the volume would begin before sector 0,
// or an NTFS volume claims too few sectors to hold its master file table's
// first cluster. Pure.
bool volumeToldBy(const uint8_t* sector, size_t length, uint64_t at, BootCopy copy,
                  uint32_t diskSectorBytes, VolumeCandidate& out);

// The volumes to list, by start. One told both by its first sector and by
// a backup (same start, file system and size) is kept once, as told by its
// first sector. A candidate that overlaps a table row whose boot sector
// names a file system is dropped: the table's volume is there (a row
// whose boot sector names none, a container or a protective entry, hides
// nothing). The rest are ranked in tiers, each taken only where no volume
// of an earlier tier lies: told by its first sector and lying on the disk;
// told only by a backup and lying on the disk; reaching past the disk's
// end (first sectors before backups). Within a tier, the set of volumes
// that do not overlap and together cover the most sectors of the disk
// wins: a stale boot sector whose volume would overlap two current ones
// gives way to them, and a volume image stored inside a larger volume to
// the larger one. Pure.
std::vector<VolumeCandidate> chooseVolumes(std::vector<VolumeCandidate> candidates,
                                           const std::vector<PartitionRecord>& tableRows,
                                           uint64_t diskSectors);

struct SearchControl {
    std::function<bool()> stopRequested;  // asked at every place; null: never
    // Bytes of the disk passed so far of all of them; now and then, and
    // once at the end of a search that was not stopped.
    std::function<void(uint64_t doneBytes, uint64_t totalBytes)> progress;
};

struct VolumeSearchResult {
    std::vector<PartitionRecord> found;  // by start; table Found
    bool stopped = false;   // by the control: `found` holds what was seen so far
    uint64_t places = 0;    // places examined
    uint64_t reads = 0;     // reads of the disk
};

// At most this many candidates are kept; a disk that holds more boot
// sectors than that at its places ends the search there.
constexpr size_t kMaxVolumeCandidates = 4096;

// Searches the open `reader`'s disk, whose size must be known, beside the
// rows its table gave. Each volume found becomes a record of table Found:
// its file system, MBR type (as a bare volume's), first sector, claimed
// size, the place of the boot sector that told of it (bootSectorOffset),
// the device's size and the cylinders, heads and sectors of its ends. Read
// failures are passed over quietly: a place that cannot be read tells
// nothing.
VolumeSearchResult searchVolumes(DriveReader& reader, const std::vector<PartitionRecord>& tableRows,
                                 const SearchControl& control);

}  // namespace undelete
