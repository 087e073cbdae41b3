// The GUID partition table: the header at LBA 1 (a backup copy at the
// device's last LBA) and the array of entries it points to, each checked by
// its CRC32 before anything in it is believed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/DriveReader.h"

namespace undelete {

// Bounds on what a header may claim, whatever the disk says: the entry
// array is read whole, so it stays within 1 MiB.
constexpr uint32_t kGptMaxEntries = 1024;
constexpr uint32_t kGptMinEntryBytes = 128;
constexpr uint32_t kGptMaxEntryBytes = 1024;

struct GptHeader {
    uint64_t myLba = 0;
    uint64_t alternateLba = 0;
    uint64_t entriesLba = 0;
    uint32_t entryCount = 0;
    uint32_t entryBytes = 0;
    uint32_t entriesCrc = 0;

    uint64_t arrayBytes() const { return uint64_t{entryCount} * entryBytes; }
    uint64_t arraySectors(uint32_t sectorBytes) const {
        return (arrayBytes() + sectorBytes - 1) / sectorBytes;
    }
};

enum class GptHeaderCheck {
    Valid,
    NoSignature,        // not "EFI PART"
    BadHeaderSize,      // below 92 bytes or beyond the sector
    BadCrc,             // the header's CRC32 does not match
    WrongLba,           // the header names another LBA as its own
    BadEntrySize,       // below 128, not a multiple of 8, or above the bound
    TooManyEntries,     // above kGptMaxEntries
    ArrayOutOfPlace,    // the array covers LBA 0 or the header, or leaves the device
};

// Decodes and checks the header held in `sector` (one whole sector of
// `sectorBytes`, at least 512), read from `lba`. `deviceSectors` is the
// device's size (0: unknown, then the array is not checked against it).
GptHeaderCheck parseGptHeader(const uint8_t* sector, uint32_t sectorBytes, uint64_t lba,
                              uint64_t deviceSectors, GptHeader& header);

struct GptEntry {
    uint8_t typeGuid[16] = {};
    uint64_t firstLba = 0;
    uint64_t lastLba = 0;  // inclusive
    uint64_t attributes = 0;
};

// Checks the CRC32 of the entry array (`length` ≥ header.arrayBytes()) and
// appends its used entries to `entries` in table order: a non-zero type
// GUID and a first LBA not after the last. False on a CRC mismatch.
bool decodeGptEntries(const uint8_t* array, size_t length, const GptHeader& header,
                      std::vector<GptEntry>& entries);

// A short text of what the type GUID means: "EFI", "数据" (basic data),
// "MSR", "Linux", "swap", "BIOS", "WinRE"; else "?" and the GUID's first
// eight hex digits.
std::string gptTypeText(const uint8_t* guid);

// The used entries of the primary table, or of the backup (at the device's
// last LBA, or where the primary header says) when the primary header or
// its array is damaged. False when no copy is valid.
bool readGpt(DriveReader& reader, uint64_t deviceSectors, std::vector<GptEntry>& entries);

}  // namespace undelete
