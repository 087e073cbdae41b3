#include "partition/PartitionRows.h"

#include <cstdio>

#include "partition/Gpt.h"
#include "partition/VolumeProbe.h"

namespace undelete {

const char* const kPartitionColumnHeaders[kPartitionColumns] = {
    "序号", "文件系统", "标识", "起始柱面", "磁头", "扇区", "终止柱面", "磁头", "扇区", "容量"};

const char* partitionTypeName(uint8_t type) {
    switch (type) {
    case 0x01: return "FAT12";
    case 0x04:
    case 0x06:
    case 0x0E: return "FAT16";
    case 0x05:
    case 0x0F: return "EXTENDED";
    case 0x07: return "NTFS";
    case 0x0B:
    case 0x0C: return "FAT32";
    default: return "UNKNOWN";
    }
}

std::string partitionCapacityText(uint64_t totalSectors, uint32_t bytesPerSector) {
    // In two steps, so that a GPT's 64-bit sector count does not wrap.
    const uint64_t mebibytes = (totalSectors >> 20) * bytesPerSector +
                               (((totalSectors & 0xFFFFF) * bytesPerSector) >> 20);
    char text[64];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(mebibytes) * 0.0009765625);
    return text;
}

std::string partitionFileSystemText(const PartitionRecord& record) {
    if (record.table != PartitionTableKind::Mbr) return fileSystemName(record.fileSystem);
    // An MBR row: what its boot sector holds, else what its type byte says.
    if (record.fileSystem != FileSystemKind::NotProbed &&
        record.fileSystem != FileSystemKind::Unknown) {
        return fileSystemName(record.fileSystem);
    }
    return partitionTypeName(record.partitionType);
}

std::string partitionTypeText(const PartitionRecord& record) {
    if (record.table == PartitionTableKind::Gpt) return gptTypeText(record.typeGuid);
    // No table, no type.
    if (record.table == PartitionTableKind::BareVolume || record.table == PartitionTableKind::Found) {
        return "-";
    }
    char code[8];
    std::snprintf(code, sizeof code, "%02X", record.partitionType);
    return code;
}

const char* partitionOriginText(const PartitionRecord& record) {
    return record.table == PartitionTableKind::Found ? "found" : "table";
}

std::array<std::string, kPartitionColumns> partitionRowTexts(int number,
                                                             const PartitionRecord& record,
                                                             uint32_t bytesPerSector) {
    auto num = [](unsigned value) { return std::to_string(value); };
    std::string name = partitionFileSystemText(record);
    if (record.bootIndicator == 0x80) name += "(活动)";
    return {std::to_string(number),
            name,
            partitionTypeText(record),
            num(record.startCylinder),
            num(record.startHead),
            num(record.startSector),
            num(record.endCylinder),
            num(record.endHead),
            num(record.endSector),
            partitionCapacityText(record.totalSectors, bytesPerSector)};
}

}  // namespace undelete
