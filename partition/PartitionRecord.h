// One partition-table entry with its decoded values and its place on the
// disk. The partition's absolute first sector is baseSector + relativeSectors.
#pragma once
#include <cstdint>

namespace undelete {

struct PartitionRecord {
    uint8_t bootIndicator = 0;
    uint16_t startHead = 0;
    uint16_t startSector = 0;
    uint16_t startCylinder = 0;
    uint8_t partitionType = 0;
    uint16_t endHead = 0;
    uint16_t endSector = 0;
    uint16_t endCylinder = 0;
    uint64_t relativeSectors = 0;
    uint64_t totalSectors = 0;
    uint8_t reserved[8] = {};
    uint64_t baseSector = 0;     // absolute sector relativeSectors counts from
    uint64_t extendedStart = 0;  // first sector of the extended partition (logical ones)

    uint64_t firstSector() const { return baseSector + relativeSectors; }
};

}  // namespace undelete
