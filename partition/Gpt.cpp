#include "partition/Gpt.h"

#include <cstdio>
#include <cstring>

#include "common/Bytes.h"
#include "common/Crc32.h"

namespace undelete {
namespace {

// Header fields, by their byte offsets in the header at LBA 1.
constexpr size_t kSignature = 0;
constexpr size_t kHeaderSize = 12;
constexpr size_t kHeaderCrc = 16;
constexpr size_t kMyLba = 24;
constexpr size_t kAlternateLba = 32;
constexpr size_t kEntriesLba = 72;
constexpr size_t kEntryCount = 80;
constexpr size_t kEntryBytes = 84;
constexpr size_t kEntriesCrc = 88;
constexpr uint32_t kMinHeaderSize = 92;

// Entry fields.
constexpr size_t kTypeGuid = 0;
constexpr size_t kFirstLba = 32;
constexpr size_t kLastLba = 40;
constexpr size_t kAttributes = 48;

bool headerCrcMatches(const uint8_t* sector, uint32_t headerSize) {
    std::vector<uint8_t> copy(sector, sector + headerSize);
    put32(copy.data() + kHeaderCrc, 0);
    return crc32(copy.data(), copy.size()) == le32(sector + kHeaderCrc);
}

bool arrayInPlace(const GptHeader& h, uint32_t sectorBytes, uint64_t deviceSectors) {
    const uint64_t sectors = h.arraySectors(sectorBytes);
    if (h.entriesLba == 0 || h.entriesLba > UINT64_MAX - sectors) return false;
    const uint64_t end = h.entriesLba + sectors;  // exclusive
    if (h.myLba >= h.entriesLba && h.myLba < end) return false;
    return deviceSectors == 0 || end <= deviceSectors;
}

bool readCopy(DriveReader& reader, uint64_t lba, uint64_t deviceSectors, GptHeader& header,
              std::vector<GptEntry>& entries) {
    const uint32_t sectorBytes = reader.bytesPerSector();
    if (sectorBytes < 512) return false;
    std::vector<uint8_t> sector(sectorBytes);
    if (!reader.readSectors(lba, sector.data(), 1)) return false;
    if (parseGptHeader(sector.data(), sectorBytes, lba, deviceSectors, header) !=
        GptHeaderCheck::Valid) {
        return false;
    }
    if (header.entryCount == 0) return true;
    // At most kGptMaxEntries × kGptMaxEntryBytes, rounded up to a sector.
    const uint64_t sectors = header.arraySectors(sectorBytes);
    std::vector<uint8_t> array(static_cast<size_t>(sectors * sectorBytes));
    if (!reader.readSectors(header.entriesLba, array.data(), static_cast<uint32_t>(sectors))) {
        return false;
    }
    std::vector<GptEntry> used;
    if (!decodeGptEntries(array.data(), array.size(), header, used)) return false;
    entries.insert(entries.end(), used.begin(), used.end());
    return true;
}

}  // namespace

GptHeaderCheck parseGptHeader(const uint8_t* sector, uint32_t sectorBytes, uint64_t lba,
                              uint64_t deviceSectors, GptHeader& header) {
    if (sectorBytes < 512 || std::memcmp(sector + kSignature, "EFI PART", 8) != 0) {
        return GptHeaderCheck::NoSignature;
    }
    const uint32_t headerSize = le32(sector + kHeaderSize);
    if (headerSize < kMinHeaderSize || headerSize > sectorBytes) {
        return GptHeaderCheck::BadHeaderSize;
    }
    if (!headerCrcMatches(sector, headerSize)) return GptHeaderCheck::BadCrc;
    header.myLba = le64(sector + kMyLba);
    header.alternateLba = le64(sector + kAlternateLba);
    header.entriesLba = le64(sector + kEntriesLba);
    header.entryCount = le32(sector + kEntryCount);
    header.entryBytes = le32(sector + kEntryBytes);
    header.entriesCrc = le32(sector + kEntriesCrc);
    if (header.myLba != lba) return GptHeaderCheck::WrongLba;
    if (header.entryBytes < kGptMinEntryBytes || header.entryBytes % 8 != 0 ||
        header.entryBytes > kGptMaxEntryBytes) {
        return GptHeaderCheck::BadEntrySize;
    }
    if (header.entryCount > kGptMaxEntries) return GptHeaderCheck::TooManyEntries;
    if (!arrayInPlace(header, sectorBytes, deviceSectors)) return GptHeaderCheck::ArrayOutOfPlace;
    return GptHeaderCheck::Valid;
}

bool decodeGptEntries(const uint8_t* array, size_t length, const GptHeader& header,
                      std::vector<GptEntry>& entries) {
    const uint64_t bytes = header.arrayBytes();
    if (bytes > length || crc32(array, static_cast<size_t>(bytes)) != header.entriesCrc) {
        return false;
    }
    static const uint8_t kUnused[16] = {};
    for (uint32_t i = 0; i < header.entryCount; ++i) {
        const uint8_t* p = array + static_cast<size_t>(i) * header.entryBytes;
        if (std::memcmp(p + kTypeGuid, kUnused, 16) == 0) continue;
        GptEntry entry;
        std::memcpy(entry.typeGuid, p + kTypeGuid, 16);
        entry.firstLba = le64(p + kFirstLba);
        entry.lastLba = le64(p + kLastLba);
        entry.attributes = le64(p + kAttributes);
        if (entry.firstLba > entry.lastLba) continue;  // describes no sector
        entries.push_back(entry);
    }
    return true;
}

std::string gptTypeText(const uint8_t* guid) {
    // The canonical text: the first three fields are stored little-endian.
    char text[37];
    std::snprintf(text, sizeof text,
                  "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", le32(guid), le16(guid + 4),
                  le16(guid + 6), guid[8], guid[9], guid[10], guid[11], guid[12], guid[13],
                  guid[14], guid[15]);
    static const struct {
        const char* guid;
        const char* text;
    } kKnown[] = {
        {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI"},
        {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "数据"},
        {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "MSR"},
        {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux"},
        {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "swap"},
        {"21686148-6449-6E6F-744E-656564454649", "BIOS"},
        {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "WinRE"},
    };
    for (const auto& known : kKnown) {
        if (std::strcmp(text, known.guid) == 0) return known.text;
    }
    return "?" + std::string(text, 8);
}

bool readGpt(DriveReader& reader, uint64_t deviceSectors, std::vector<GptEntry>& entries) {
    GptHeader primary;
    if (readCopy(reader, 1, deviceSectors, primary, entries)) return true;
    // The backup lies at the device's last LBA; when the device cannot tell
    // its size, only a primary header that passed its own CRC can say where.
    uint64_t backups[2] = {0, 0};
    if (deviceSectors > 2) backups[0] = deviceSectors - 1;
    if (primary.myLba == 1 && primary.alternateLba > 1 && primary.alternateLba != backups[0] &&
        (deviceSectors == 0 || primary.alternateLba < deviceSectors)) {
        backups[1] = primary.alternateLba;
    }
    for (uint64_t lba : backups) {
        GptHeader backup;
        if (lba != 0 && readCopy(reader, lba, deviceSectors, backup, entries)) return true;
    }
    return false;
}

}  // namespace undelete
