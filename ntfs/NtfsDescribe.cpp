#include <algorithm>

#include "common/Bytes.h"
#include "ntfs/NtfsScanner.h"

namespace undelete {

bool NtfsScanner::describe(uint32_t index, DeletedFile& file) {
    file = DeletedFile{};
    std::lock_guard<std::mutex> lock(tableMutex_);
    if (!table_ || index >= recordCount_) return false;
    const uint8_t* record = table_->read(index, MftTableReader::Slot::Scan);
    // Most records are in use: they are refused before any parse.
    uint16_t flags = 0;
    if (record == nullptr || !peekRecordFlags(record, recordSize_, flags) || flags != 0) {
        return false;
    }
    MftRecordInfo info;
    if (!parseRecord(record, recordSize_, true, info)) return false;
    file.name = recordName(info);
    if (file.name.empty()) return false;  // no name outside the DOS namespace
    file.created = CreationTime::fileTime(le64(info.fileName.data() + kFileNameTimeOffset));
    file.size = info.nonResident() ? info.dataSize : static_cast<uint64_t>(info.dataLength);
    file.path = folders_->folderOf(info.parentReference);
    // Resident content lives in the record itself, which is not reused
    // while it is still a deleted file.
    file.state = info.nonResident()
                     ? bitmap_.stateOf(info.runs, std::min(info.dataSize, info.allocatedSize),
                                       bytesPerCluster_)
                     : FileState::Intact;
    return true;
}

}  // namespace undelete
