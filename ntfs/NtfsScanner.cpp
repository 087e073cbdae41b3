#include "ntfs/NtfsScanner.h"

#include <algorithm>
#include <new>

#include "common/Bytes.h"
#include "ntfs/NtfsRecords.h"
#include "ntfs/StreamExtents.h"
#include "ntfs/TableMap.h"
#include "partition/NtfsBootSector.h"
#include "scan/FileStates.h"
#include "scan/Lznt1.h"

namespace undelete {

const char kTableBeyondPartitionMessage[] =
    "主文件表声称的记录多于分区所能容纳的，超出分区的记录未扫描";
const char kTableUnmappedMessage[] = "主文件表有记录的位置无从得知，这些记录未扫描";
const char kSearchFullMessage[] = "找到的主文件表记录过多，其余的未列出";

namespace {

constexpr uint32_t kBootSectorBytes = 512;
constexpr uint64_t kBitmapRecord = 6;

}  // namespace

NtfsScanner::NtfsScanner(const ScanContext& context)
    : LayoutScanner(context),
      mftValidDataLength_(context.mftValidDataLength) {}

bool NtfsScanner::open(const PartitionRecord* record) {
    if (record == nullptr || !drive_.open()) return false;
    // The table's claim is cut by the volume's bounds.
    if (!volumeBoundsOf(*record, drive_, bounds_)) return false;
    uint8_t boot[kBootSectorBytes] = {};
    // A found volume's damaged first sector is read from its backup.
    uint64_t bootAt = 0;
    if (!record->bootSectorAt(bounds_.start, bootAt) ||
        !drive_.readBytes(bootAt, boot, kBootSectorBytes)) {
        return false;
    }
    NtfsBootFields fields;
    if (!decodeNtfsBootSector(boot, fields) || bounds_.bytes() == 0) return false;
    bytesPerCluster_ = fields.bytesPerCluster;
    recordSize_ = fields.recordSize;
    try {
        if (!buildRecordMap(fields.serial, fields.mftCluster)) return false;
        table_ = std::make_unique<MftTableReader>(drive_, *recordMap_);
        // A folder's name may lie in an extension record too.
        folders_ = std::make_unique<NtfsFolders>([this](uint64_t number, MftRecordInfo& info) {
            try {
                NtfsFile folder;
                Records source(*this, Records::Way::Table);
                if (!loadFile(number, false, source, folder)) return false;
                info = std::move(folder.info);
                return true;
            } catch (const std::bad_alloc&) {
                return false;
            }
        });
        loadBitmap();
        if (deep_ && !stopped()) searchRecords();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool NtfsScanner::hasItem(uint32_t index) {
    return static_cast<uint64_t>(index) < recordCount_ + found_.size();
}

bool NtfsScanner::buildRecordMap(uint32_t serial, uint64_t mftCluster) {
    if (recordSize_ == 0) return false;
    const uint64_t partitionOffset = bounds_.start;
    uint64_t tableOffset = 0;
    if (!ClusterGeometry{partitionOffset, 0, bytesPerCluster_}.offsetOf(mftCluster, tableOffset)) {
        return false;
    }
    uint8_t buffer[kMaxMftRecordBytes] = {};
    if (!drive_.readBytes(tableOffset, buffer, recordSize_)) return false;
    MftRecordInfo info;
    if (!parseTableRecord(buffer, recordSize_, info)) return false;
    // A mounted volume is asked by its serial number where there are such
    // volumes; otherwise, and for a volume no mounted one answers for (no
    // drive letter, a removable or damaged one: the usual case in
    // recovery), this volume's own record tells. Two cloned volumes with one
    // serial number each keep their own length where there is no lookup.
    uint64_t validLength = mftValidDataLength_ ? mftValidDataLength_(serial) : 0;
    if (validLength == 0) validLength = info.initializedSize;
    if (validLength == 0) return false;
    tableRuns_ = info.runs;
    tableAllocated_ = info.allocatedSize;
    const uint64_t claimed = validLength / recordSize_;
    recordMap_ = std::make_unique<MftRecordMap>(partitionOffset, bytesPerCluster_, recordSize_,
                                                claimed, bounds_.end);
    Records streams(*this, Records::Way::Direct);
    const PieceReader read = [this](uint64_t position, uint8_t* into, uint32_t length) {
        return drive_.readBytes(position, into, length);
    };
    buildTableMap(info, streams, [&](uint64_t number) -> const uint8_t* {
        return readMappedRecord(*recordMap_, number, read, buffer) ? buffer : nullptr;
    }, *recordMap_);
    // Only records the disk holds are offered: a claimed length of 2^50
    // bytes on a small disk does not make 2^40 indices.
    // Every record of a table lies in its volume, so the volume's size
    // bounds the numbers too (a vast sparse run cannot stretch them).
    // Either cut is told: the files past it are not listed.
    const uint64_t held = bounds_.bytes() / recordSize_;
    recordCount_ = std::min({claimed, recordMap_->mappedEnd(), held});
    if (recordCount_ < claimed && toldIncomplete_) {
        toldIncomplete_(held < claimed ? kTableBeyondPartitionMessage : kTableUnmappedMessage);
    }
    return true;
}

// Read once, in pieces, through the file object (its runs may continue in
// extension records), straight into the map; its size is bounded by the
// volume's cluster count, not by what record 6 claims.
void NtfsScanner::loadBitmap() {
    NtfsFile file;
    Records source(*this, Records::Way::Table);
    if (!loadFile(kBitmapRecord, false, source, file)) return;
    const MftRecordInfo& info = file.info;
    const uint64_t clusters = bounds_.bytes() / bytesPerCluster_;
    const uint64_t wanted = clusters / 8 + (clusters % 8 != 0);
    if (!bitmap_.reset(clusters, 0)) return;
    if (!info.nonResident()) {
        const auto n = std::min<uint64_t>(static_cast<uint64_t>(info.dataLength), wanted);
        bitmap_.setUsedBits(0, info.residentData.data(), static_cast<size_t>(n * 8));
    } else {
        const uint64_t length = std::min({info.dataSize, info.allocatedSize, wanted});
        MapBitsSink sink(bitmap_, 0, stopRequested_);
        if (!readWhole(info.runs, length, sink) || !sink.whole(length)) return;
        // Clusters the bitmap does not reach are not the volume's to use.
        for (uint64_t c = length * 8; c < clusters; ++c) bitmap_.setUsed(c);
    }
    bitmap_.finish();
    bitmapKnown_ = true;
}

bool NtfsScanner::describe(uint32_t index, DeletedFile& file) {
    file = DeletedFile{};
    std::lock_guard<std::mutex> lock(tableMutex_);
    if (!table_) return false;
    if (index >= recordCount_) {
        const uint64_t which = index - recordCount_;
        return which < found_.size() && describeFound(static_cast<size_t>(which), file);
    }
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
        Records source(*this, Records::Way::Table);
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
// it is still a deleted file. Otherwise the one rule weighs its runs
// against the bitmap; a run list that stops short of the allocation (a
// piece whose extension record now belongs to another file, or cannot be
// read) makes the file partial, or unknown when a record could not be
// read.
FileState NtfsScanner::stateOf(const NtfsFile& file) const {
    if (file.encrypted()) return FileState::Encrypted;
    if (!file.info.nonResident()) return FileState::Intact;
    FileLayout where = layoutOf(file);
    // The clusters weighed are all the allocation the data size needs.
    where.validLength = where.length;
    return layoutState(&where, bitmap_, bitmapKnown_);
}

// An encrypted file is read as it lies: its clusters hold no compressed
// units to decode. A data size beyond the allocation contradicts it: only
// the allocation is the file.
FileLayout NtfsScanner::layoutOf(const NtfsFile& file) const {
    const MftRecordInfo& info = file.info;
    FileLayout where;
    where.encrypted = file.encrypted();
    if (!info.nonResident()) {
        where.resident = true;
        where.length = where.validLength = static_cast<uint64_t>(info.dataLength);
        where.residentBytes.assign(info.residentData.begin(),
                                   info.residentData.begin() + info.dataLength);
        return where;
    }
    where.length = std::min(info.dataSize, info.allocatedSize);
    where.validLength = std::min(info.initializedSize, where.length);
    where.clusters = {bounds_.start, 0, bytesPerCluster_};
    where.compressed = file.compressed() && !file.encrypted();
    if (where.compressed) {
        where.compressionUnit = compressionUnitClusters(info.compressionUnit, bytesPerCluster_);
    }
    where.shortfallUnknown = file.pieces == FilePieces::Unreadable;
    where.extents = std::make_unique<ExtentList>(extentsOf(info.runs));
    return where;
}

// Neither the volume nor the runs can account for such an allocation: the
// record is not to be believed.
bool NtfsScanner::believable(const NtfsFile& file) const {
    const MftRecordInfo& info = file.info;
    return !info.nonResident() ||
           (bytesPerCluster_ != 0 &&
            (info.allocatedSize <= bounds_.bytes() ||
             info.allocatedSize <= saturatingProduct(runClusters(info.runs), bytesPerCluster_)));
}

bool NtfsScanner::layout(uint32_t index, FileLayout& where) {
    if (index >= recordCount_) {
        const uint64_t which = index - recordCount_;
        return which < found_.size() && layoutFound(static_cast<size_t>(which), where);
    }
    NtfsFile file;
    Records source(*this, Records::Way::Direct);
    if (!loadFile(index, false, source, file) || !believable(file)) return false;
    where = layoutOf(file);
    return true;
}

}  // namespace undelete
