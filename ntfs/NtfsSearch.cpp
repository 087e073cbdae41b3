// The deeper scan's records outside the table (RecordSearch.h) as files of
// the scanner: grouped with their extension records, named, placed under
// their rebuilt folders and read through the one content model, as the
// table's own files are.
#include <algorithm>
#include <new>

#include "common/Bytes.h"
#include "ntfs/NtfsRecords.h"
#include "ntfs/StreamExtents.h"

namespace undelete {
namespace {

// Found records kept at most (48 MiB of catalogue, 2 GiB of records).
constexpr size_t kMaxFound = size_t{1} << 21;
// Records below this are the volume's own files, never the user's.
constexpr uint64_t kFirstFileRecord = 16;
constexpr uint32_t kMaxFailuresInARow = 16;

}  // namespace

// A found file's records: a found record by its number first (its
// extension records were found beside it), else the table's.
class NtfsScanner::FoundSource : public RecordSource {
public:
    FoundSource(NtfsScanner& scanner, Records::Way way) : scanner_(scanner), table_(scanner, way) {}
    size_t recordSize() const override { return scanner_.recordSize_; }
    const uint8_t* rawRecord(uint64_t number) override {
        const FoundRecord* found = scanner_.found_.find(number);
        if (found == nullptr) return table_.rawRecord(number);
        return scanner_.drive_.readBytes(found->position, record_, scanner_.recordSize_) ? record_
                                                                                       : nullptr;
    }
    bool readStream(const std::vector<RunListNode>& runs, uint64_t length,
                    std::vector<uint8_t>& bytes) override {
        return table_.readStream(runs, length, bytes);
    }

private:
    NtfsScanner& scanner_;
    Records table_;
    uint8_t record_[kMaxMftRecordBytes];
};

void NtfsScanner::searchRecords() {
    const uint32_t cluster = bytesPerCluster_;
    if (!recordMap_ || cluster == 0 || recordCount_ >= UINT32_MAX) return;
    // The live table's records are not searched again.
    const uint64_t liveEnd = recordCount_ * recordSize_;  // within the volume's bytes
    std::vector<ByteRange> live;
    for (const MftRecordMap::Extent& e : recordMap_->extents()) {
        if (e.streamOffset >= liveEnd) break;
        live.push_back({e.position, e.position + std::min(e.length, liveEnd - e.streamOffset)});
    }
    // Its allocation past them: where a quick format leaves the old records
    // that the new table's first clusters did not overwrite.
    std::vector<ByteRange> tail;
    const uint64_t allocated = std::min(tableAllocated_, saturatingProduct(runClusters(tableRuns_), cluster));
    uint64_t streamAt = 0;
    for (const Extent& x : extentsOf(tableRuns_)) {
        if (streamAt >= allocated) break;
        const uint64_t bytes = std::min(saturatingProduct(x.count, cluster), allocated - streamAt);
        const uint64_t from = std::max(streamAt, liveEnd), to = streamAt + bytes;
        uint64_t position = 0;
        if (x.kind == Extent::Kind::Stored && from < to &&
            ClusterGeometry{bounds_.start, 0, cluster}.offsetOf(x.first, position) &&
            position < bounds_.end && to - streamAt <= bounds_.end - position) {
            tail.push_back({position + (from - streamAt), position + (to - streamAt)});
        }
        streamAt = to;
    }
    found_ = FoundRecords(static_cast<size_t>(std::min<uint64_t>(kMaxFound, UINT32_MAX - recordCount_)));
    BudgetedReader reads(drive_, kMaxFailuresInARow);
    SearchHooks hooks;
    hooks.stop = [this] { return stopped(); };
    hooks.progress = passProgress_;
    RecordSearch search(reads, {bounds_.start, bounds_.bytes() / cluster, cluster, recordSize_}, hooks);
    search.run(bitmapKnown_ ? &bitmap_ : nullptr, std::move(live), tail, found_);
    if (found_.full() && toldIncomplete_) toldIncomplete_(kSearchFullMessage);
    found_.finish();
    // A found file's folder is a found record first: its parent reference
    // names the old table's folder, whatever the new table holds there.
    foundFolders_ = std::make_unique<NtfsFolders>([this](uint64_t number, MftRecordInfo& info) {
        try {
            NtfsFile folder;
            Records table(*this, Records::Way::Table);
            if (!loadFound(number, true, folder) && !loadFile(number, false, table, folder)) {
                return false;
            }
            info = std::move(folder.info);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    });
}

bool NtfsScanner::loadFound(uint64_t number, bool tableWay, NtfsFile& file) {
    if (found_.find(number) == nullptr) return false;
    FoundSource source(*this, tableWay ? Records::Way::Table : Records::Way::Direct);
    const uint8_t* raw = source.rawRecord(number);
    if (raw == nullptr || !parseRecord(raw, recordSize_, false, file.info)) return false;
    file.number = number;
    completeFile(source, file);
    return true;
}

// The same file as the table holds at that number (the same sequence, and
// the same name where the table's record has one) is the table's to list.
bool NtfsScanner::heldByTable(const NtfsFile& file) {
    if (file.number >= recordCount_) return false;
    const uint8_t* raw = table_->read(file.number, MftTableReader::Slot::Lookup);
    MftRecordInfo live;
    if (raw == nullptr || !parseRecord(raw, recordSize_, false, live)) return false;
    if (live.sequenceNumber != file.info.sequenceNumber) return false;
    const std::string name = recordName(live);
    return name.empty() || name == recordName(file.info);
}

// After a format no folder reaches any old file: in use or not, each is
// listed. Folders, the volume's own records and extension records are not
// files of their own.
bool NtfsScanner::describeFound(size_t which, DeletedFile& file) {
    const uint64_t number = found_[which].number;
    if (number < kFirstFileRecord || !foundFolders_) return false;
    NtfsFile found;
    try {
        if (!loadFound(number, true, found)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    const MftRecordInfo& info = found.info;
    if (info.baseReference != 0 || (info.flags & ~kRecordInUse) != 0) return false;
    file.name = recordName(info);
    if (file.name.empty() || heldByTable(found)) return false;
    file.created = CreationTime::fileTime(le64(info.fileName.data() + kFileNameTimeOffset));
    file.size = info.nonResident() ? info.dataSize : static_cast<uint64_t>(info.dataLength);
    file.path = foundFolders_->folderOf(info.parentReference);
    file.state = stateOf(found);
    file.origin = FileOrigin::Search;
    return true;
}

bool NtfsScanner::layoutFound(size_t which, FileLayout& where) {
    NtfsFile file;
    if (!loadFound(found_[which].number, false, file) || !believable(file)) return false;
    where = layoutOf(file);
    return true;
}

}  // namespace undelete
