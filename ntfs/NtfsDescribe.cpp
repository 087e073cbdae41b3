#include <algorithm>

#include "common/Bytes.h"
#include "ntfs/NtfsRecords.h"
#include "ntfs/StreamExtents.h"

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
    NtfsFile deleted;
    deleted.number = index;
    if (!parseRecord(record, recordSize_, true, deleted.info)) return false;
    // An extension record is a part of the file its base names.
    if (deleted.info.baseReference != 0) return false;
    try {
        TableRecords source(*this);
        completeFile(source, deleted);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const MftRecordInfo& info = deleted.info;
    file.name = recordName(info);
    if (file.name.empty()) return false;  // no name outside the DOS namespace
    file.created = CreationTime::fileTime(le64(info.fileName.data() + kFileNameTimeOffset));
    file.size = info.nonResident() ? info.dataSize : static_cast<uint64_t>(info.dataLength);
    file.path = folders_->folderOf(info.parentReference);
    file.state = stateOf(deleted);
    return true;
}

// Resident content lives in the record itself, which is not reused while
// it is still a deleted file. Otherwise the bitmap tells; a run list that
// stops short of the allocation (a piece whose extension record now
// belongs to another file, or cannot be read) makes the file partial, or,
// short of a worse word from the bitmap, unknown when a record could not
// be read. A list entry that could not be followed but whose piece was not
// needed changes nothing.
FileState NtfsScanner::stateOf(const NtfsFile& file) const {
    if (file.encrypted()) return FileState::Encrypted;
    const MftRecordInfo& info = file.info;
    if (!info.nonResident()) return FileState::Intact;
    const uint32_t cluster = volume_.bytesPerCluster;
    const uint64_t length = std::min(info.dataSize, info.allocatedSize);
    const FileState state = bitmap_.stateOf(info.runs, length, cluster);
    if (state == FileState::Overwritten) return state;
    const uint64_t covered = runClusters(info.runs);
    const bool stopsShort = cluster != 0 && covered < length / cluster + (length % cluster != 0);
    if (!stopsShort) return state;
    return file.pieces == FilePieces::Unreadable ? FileState::Unknown : FileState::Partial;
}

}  // namespace undelete
