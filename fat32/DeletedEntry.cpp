#include "fat32/DeletedEntry.h"

#include <cstring>

#include "common/Text.h"

namespace undelete {

void formatEntryTime(uint16_t date, uint16_t time, char out[25]) {
    formatTimeText(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F, time >> 11,
                   (time >> 5) & 0x3F, (time & 0x1F) * 2, out);
}

void describeDeletedEntry(const DeletedEntry& entry, ResultRow& row) {
    formatSizeText(entry.fileSize, row.sizeText);
    formatEntryTime(entry.creationDate, entry.creationTime, row.timeText);
    static_assert(sizeof row.nameText == sizeof entry.name, "name fields differ");
    std::memcpy(row.nameText, entry.name, sizeof row.nameText);
}

}  // namespace undelete
