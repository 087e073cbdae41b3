// Walks the partition table of the disk: a GUID partition table behind a
// protective MBR, or the master boot record and the chain of extended boot
// records behind its first extended entry, or, when sector 0 is itself a
// volume's boot sector, the whole disk as one partition.
#pragma once
#include <cstdint>
#include <functional>

#include "common/Message.h"
#include "disk/DriveDevice.h"
#include "partition/PartitionRecord.h"

namespace undelete {

// Receives each partition in the order found. The record is the walk's
// working copy: copy it before returning. `bytesPerSector` is the drive's.
using PartitionRowConsumer =
    std::function<void(const PartitionRecord& record, uint32_t bytesPerSector)>;

// At most this many extended boot records are read; the chain also ends at
// one it has read before.
constexpr int kMaxExtendedRecords = 50;

// Told to `messages` when sector 0 holds neither a boot signature nor a
// volume: "no partition table found".
extern const char* const kNoPartitionTableMessage;

// The walk, in this order:
// - sector 0 the boot sector of a known file system: one row for the whole
//   disk;
// - no boot signature (0x55AA): no rows, kNoPartitionTableMessage;
// - a protective entry (0xEE) and a valid GPT (primary, else backup): one
//   row per used entry, its file system probed from its boot sector;
// - otherwise every primary entry in slot order (empty slots passed over),
//   then the logical partitions of the first extended entry's chain: every
//   entry of each extended boot record that is neither empty nor a link,
//   then the first link; every entry but an extended container
//   (probedMbrType) has its file system probed from its boot sector.
// Every record carries the device's size (PartitionRecord::deviceSectors).
// The walk opens its own reader of the disk; read failures go to `messages`.
PartitionTableKind walkPartitionTable(const DriveOpener& openDrive, const MessageSink& messages,
                                      const PartitionRowConsumer& addPartitionRow);

// The same walk, for callers that need not know what it found.
void PartitionTableWalker(const DriveOpener& openDrive, const MessageSink& messages,
                          const PartitionRowConsumer& addPartitionRow);

// Decodes one 16-byte entry into the ten entry fields of `record`, with the
// cylinders computed from the address when a cylinder field reads 1023.
// `base` is 0 for the master boot record, the boot record's sector otherwise.
void fillPartitionRecord(const uint8_t* entry, uint64_t base, uint32_t sectorsPerCylinder,
                         PartitionRecord& record);

// The start and end cylinder, head and sector of a partition whose first and
// last sector are `first` and `last`, computed from the drive's geometry (a
// 16-bit cylinder keeps the low bits; no geometry gives zeros).
void setAddressFromLba(uint64_t first, uint64_t last, uint32_t sectorsPerTrack,
                       uint32_t tracksPerCylinder, PartitionRecord& record);

inline bool isExtendedType(uint8_t type) { return type == 0x05 || type == 0x0F; }

}  // namespace undelete
