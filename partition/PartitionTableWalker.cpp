#include "partition/PartitionTableWalker.h"

#include <vector>

#include "common/Bytes.h"
#include "disk/DriveReader.h"

namespace undelete {
namespace {

constexpr size_t kFirstEntry = 446;
constexpr size_t kEntrySize = 16;
constexpr int kMaxExtendedRecords = 50;

// Cylinder fields of 1023 mean "beyond CHS reach": compute from the address.
uint16_t cylinderOf(uint16_t field, uint64_t lba, uint32_t sectorsPerCylinder) {
    if (field != 1023) return field;
    if (sectorsPerCylinder == 0) return 0;
    return static_cast<uint16_t>(lba / sectorsPerCylinder);
}

}  // namespace

void fillPartitionRecord(const uint8_t* entry, uint64_t base, uint32_t sectorsPerCylinder,
                         PartitionRecord& record) {
    const uint64_t first = le32(entry + 8);
    const uint64_t count = le32(entry + 12);
    record.bootIndicator = entry[0];
    record.startHead = entry[1];
    record.startSector = entry[2] & 0x3F;
    const uint16_t startField = static_cast<uint16_t>(((entry[2] & 0xC0) << 2) | entry[3]);
    record.startCylinder = cylinderOf(startField, base + first, sectorsPerCylinder);
    record.partitionType = entry[4];
    record.endHead = entry[5];
    record.endSector = entry[6] & 0x3F;
    const uint16_t endField = static_cast<uint16_t>(((entry[6] & 0xC0) << 2) | entry[7]);
    record.endCylinder = cylinderOf(endField, base + first + count - 1, sectorsPerCylinder);
    record.relativeSectors = first;
    record.totalSectors = count;
}

void PartitionTableWalker(const DriveOpener& openDrive, const MessageSink& messages,
                          const PartitionRowConsumer& addPartitionRow) {
    DriveReader reader(openDrive, messages);
    if (!reader.open()) return;
    const uint32_t sectorBytes = reader.bytesPerSector();
    // One whole sector, however large the drive's sectors are; the entries
    // always sit in its first 512 bytes.
    std::vector<uint8_t> sector(sectorBytes < 512 ? 512 : sectorBytes, 0);
    PartitionRecord record;
    const uint32_t spc = reader.sectorsPerCylinder();

    if (!reader.readSectors(0, sector.data(), 1)) return;

    // Every primary slot is examined; the first extended entry is
    // remembered and its chain walked after the primaries.
    bool haveExtended = false;
    uint64_t extendedStart = 0;
    for (int slot = 0; slot < 4; ++slot) {
        const uint8_t* entry = sector.data() + kFirstEntry + slot * kEntrySize;
        const uint8_t type = entry[4];
        if (type == 0) continue;
        if (isExtendedType(type)) {
            if (!haveExtended) {
                haveExtended = true;
                extendedStart = le32(entry + 8);
            }
            continue;
        }
        record.baseSector = 0;
        record.extendedStart = 0;
        fillPartitionRecord(entry, 0, spc, record);
        addPartitionRow(record, sectorBytes);
    }

    uint64_t ebr = extendedStart;
    for (int n = 0; haveExtended && n < kMaxExtendedRecords; ++n) {
        if (!reader.readSectors(ebr, sector.data(), 1)) break;
        bool linked = false;
        for (int slot = 0; slot < 4; ++slot) {
            const uint8_t* entry = sector.data() + kFirstEntry + slot * kEntrySize;
            const uint8_t type = entry[4];
            if (type == 0) break;
            if (isExtendedType(type)) {
                ebr = extendedStart + le32(entry + 8);
                linked = true;
                break;
            }
            record.baseSector = ebr;
            record.extendedStart = extendedStart;
            fillPartitionRecord(entry, ebr, spc, record);
            addPartitionRow(record, sectorBytes);
        }
        if (!linked) break;
    }
}

}  // namespace undelete
