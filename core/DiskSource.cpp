#include "core/DiskSource.h"

#include <utility>

#include "disk/DriveReader.h"
#include "partition/PartitionTableWalker.h"

namespace undelete {

PartitionTableKind partitionRows(const DiskSource& source, const MessageSink& messages,
                                 std::vector<PartitionRow>& rows) {
    rows.clear();
    return walkPartitionTable(
        source.openDrive, messages,
        [&rows](const PartitionRecord& record, uint32_t bytesPerSector) {
            PartitionRow row;
            row.record = record;
            row.bytesPerSector = bytesPerSector;
            row.texts = partitionRowTexts(static_cast<int>(rows.size()), record, bytesPerSector);
            rows.push_back(std::move(row));
        });
}

FoundRows findLostVolumes(const DiskSource& source, const std::vector<PartitionRow>& tableRows,
                          const SearchControl& control) {
    FoundRows result;
    std::vector<PartitionRecord> records;
    for (const PartitionRow& row : tableRows) {
        if (row.record.table != PartitionTableKind::Found) records.push_back(row.record);
    }
    DriveReader reader(source.openDrive, {});
    if (!reader.open()) return result;
    const VolumeSearchResult search = searchVolumes(reader, records, control);
    result.stopped = search.stopped;
    for (const PartitionRecord& record : search.found) {
        PartitionRow row;
        row.record = record;
        row.bytesPerSector = reader.bytesPerSector();
        const int number = static_cast<int>(records.size() + result.rows.size());
        row.texts = partitionRowTexts(number, record, row.bytesPerSector);
        result.rows.push_back(std::move(row));
    }
    return result;
}

}  // namespace undelete
