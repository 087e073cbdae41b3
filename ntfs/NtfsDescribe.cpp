#include "common/Bytes.h"
#include "common/Text.h"
#include "ntfs/NtfsScanner.h"

namespace undelete {
namespace {

constexpr size_t kNameUnits = (kFileNameValueBytes - kFileNameNameOffset) / 2;

}  // namespace

bool NtfsScanner::describe(uint32_t index, DeletedFile& file) {
    file = DeletedFile{};
    MftRecordInfo info;
    if (!readRecord(index, true, info)) return false;

    const uint8_t* name = info.fileName.data() + kFileNameNameOffset;
    uint16_t units[kNameUnits];
    size_t count = 0;
    while (count < kNameUnits && (units[count] = le16(name + 2 * count)) != 0) ++count;
    if (count == 0) return false;  // no name outside the DOS namespace
    file.name = utf16ToText(units, count);
    file.created = CreationTime::fileTime(le64(info.fileName.data() + kFileNameTimeOffset));
    file.size = info.nonResident() ? info.dataSize : static_cast<uint64_t>(info.dataLength);
    return true;
}

}  // namespace undelete
