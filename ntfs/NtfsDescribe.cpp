#include <cstring>

#include "common/Bytes.h"
#include "common/Text.h"
#include "ntfs/FileTimeText.h"
#include "ntfs/NtfsScanner.h"

namespace undelete {
namespace {

constexpr size_t kNameUnits = (kFileNameValueBytes - kFileNameNameOffset) / 2;
constexpr size_t kNameTextBytes = sizeof(ResultRow::nameText) - 1;

}  // namespace

bool NtfsScanner::describe(uint32_t index, ResultRow& row) {
    std::memset(&row, 0, sizeof row);
    MftRecordInfo info;
    if (!readRecord(index, true, info)) return false;

    const uint8_t* name = info.fileName.data() + kFileNameNameOffset;
    uint16_t units[kNameUnits];
    size_t count = 0;
    while (count < kNameUnits && (units[count] = le16(name + 2 * count)) != 0) ++count;
    if (count == 0) return false;  // no name outside the DOS namespace
    utf16ToMultibyte(units, count, row.nameText, kNameTextBytes);

    formatFileTimeText(le64(info.fileName.data() + kFileNameTimeOffset),
                       currentUtcOffsetSeconds(), row.timeText);

    const uint64_t size = info.nonResident() ? info.dataSize
                                             : static_cast<uint64_t>(info.dataLength);
    formatSizeText(size, row.sizeText);
    return true;
}

}  // namespace undelete
