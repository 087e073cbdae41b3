// The 32-byte exFAT directory entries: their types, the fields a scanner
// reads, the entry-set checksum and the name hash. Pure: callers hand in
// entries that lie wholly inside their buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace undelete {

constexpr size_t kExfatEntrySize = 32;

// EntryType: bit 7 InUse (cleared when a set is deleted), bit 6 secondary,
// bits 0-4 the type code. The values below are the in-use forms.
constexpr uint8_t kExfatEndOfDirectory = 0x00;
constexpr uint8_t kExfatInUse = 0x80;
constexpr uint8_t kExfatSecondary = 0x40;
constexpr uint8_t kExfatAllocationBitmap = 0x81;
constexpr uint8_t kExfatUpcaseTable = 0x82;
constexpr uint8_t kExfatVolumeLabel = 0x83;
constexpr uint8_t kExfatFile = 0x85;
constexpr uint8_t kExfatStreamExtension = 0xC0;
constexpr uint8_t kExfatFileName = 0xC1;

// File entry (published field names).
constexpr size_t kFileSecondaryCount = 1;
constexpr size_t kFileSetChecksum = 2;
constexpr size_t kFileAttributes = 4;
constexpr size_t kFileCreateTimestamp = 8;
constexpr size_t kFileLastModifiedTimestamp = 12;
constexpr size_t kFileCreate10msIncrement = 20;
constexpr size_t kFileLastModified10msIncrement = 21;
constexpr size_t kFileCreateUtcOffset = 22;
constexpr size_t kFileLastModifiedUtcOffset = 23;
constexpr uint16_t kExfatAttrDirectory = 0x10;

// Stream Extension entry.
constexpr size_t kStreamGeneralSecondaryFlags = 1;
constexpr size_t kStreamNameLength = 3;
constexpr size_t kStreamNameHash = 4;
constexpr size_t kStreamValidDataLength = 8;
constexpr size_t kStreamFirstCluster = 20;
constexpr size_t kStreamDataLength = 24;
constexpr uint8_t kExfatAllocationPossible = 0x01;
constexpr uint8_t kExfatNoFatChain = 0x02;  // the data lies in one run from FirstCluster

// File Name entry: 15 UTF-16 units from byte 2.
constexpr size_t kFileNameUnitsAt = 2;
constexpr size_t kFileNameUnits = 15;
constexpr size_t kExfatMaxNameUnits = 255;

// Allocation Bitmap and Up-case Table entries (root directory only).
constexpr size_t kBitmapFlags = 1;  // bit 0: the bitmap of the second FAT
constexpr size_t kUpcaseTableChecksum = 4;
constexpr size_t kRootEntryFirstCluster = 20;
constexpr size_t kRootEntryDataLength = 24;

// Volume Label entry: up to 11 UTF-16 units from byte 2.
constexpr size_t kLabelCharacterCount = 1;
constexpr size_t kLabelUnitsAt = 2;
constexpr size_t kExfatMaxLabelUnits = 11;

// A set is a File entry and 1 to 18 secondaries: a Stream Extension, then
// the File Name entries its NameLength needs (at most 17), then any others.
constexpr uint8_t kExfatMinSecondaries = 2;
constexpr uint8_t kExfatMaxSecondaries = 18;

inline bool exfatInUse(uint8_t type) { return (type & kExfatInUse) != 0; }
// The type as it was written, whether or not the set was deleted since.
inline uint8_t exfatWrittenType(uint8_t type) { return type | kExfatInUse; }

// The SetChecksum of `entries` consecutive entries from `set`: every byte
// but the checksum field's own two. Each entry's InUse bit is taken as set,
// as it was when the checksum was written, so that a deleted set checks
// too.
uint16_t exfatSetChecksum(const uint8_t* set, size_t entries);

}  // namespace undelete
