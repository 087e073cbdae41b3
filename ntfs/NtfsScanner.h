// Scanner of NTFS partitions: maps every record of the master file table
// to its place on the drive (the table's own pieces in all its extension
// records), lists deleted files that still have a name (from their base
// record or the extension records its attribute list names) and describes
// where their content lies: resident, or in runs (sparse runs, the
// initialized size, compressed units), for the one reader.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "ntfs/MftRecord.h"
#include "ntfs/MftRecordMap.h"
#include "ntfs/MftTableReader.h"
#include "ntfs/NtfsFile.h"
#include "ntfs/NtfsFolders.h"
#include "ntfs/RecordSearch.h"
#include "scan/ClusterMap.h"
#include "scan/ScanContext.h"
#include "scan/LayoutScanner.h"

namespace undelete {

// Told when the table's record count is cut: it claims more records than
// the partition holds, or more than the runs the scanner follows map.
extern const char kTableBeyondPartitionMessage[];
extern const char kTableUnmappedMessage[];
// Told when the deeper scan found more records than it keeps.
extern const char kSearchFullMessage[];

class NtfsScanner : public LayoutScanner {
public:
    explicit NtfsScanner(const ScanContext& context);

    // Reads the boot sector and the table's own record, learns the table's
    // valid data length (from the context's lookup when it has one, else
    // from that record), maps the records that lie inside the partition
    // and the disk, and loads the cluster bitmap (a bitmap that cannot be
    // had leaves every state Unknown; the open still succeeds). The deeper
    // scan then searches the volume for records outside the table
    // (RecordSearch.h); a stop ends that search, keeping what it found.
    bool open(const PartitionRecord* record) override;

    // True for every index below the record count (at most the records
    // the map's extents hold, never the table's claimed length alone),
    // then one index per record the deeper scan found.
    bool hasItem(uint32_t index) override;
    uint64_t itemCount() override { return recordCount_ + found_.size(); }

    // True for a deleted base record (flags 0) whose file has a name
    // outside the DOS namespace: its name, size, creation time, folder and
    // state are written to `file`. Extension records are parts of other
    // files, never files of their own. Records are read in large pieces
    // (worker thread). A found record is listed when it is a base record
    // of a file (deleted or not: after a format no folder reaches it) with
    // such a name, unless the live table holds the same file at its
    // number; its folder is rebuilt from the found records, then the
    // table.
    bool describe(uint32_t index, DeletedFile& file) override;

    // The file's content: the resident value, or its joined runs in VCN
    // order up to the data size (bytes past the initialized size zeros,
    // compressed units decoded, an encrypted file's bytes as they lie). A
    // record whose allocation neither the volume nor its runs can account
    // for is not believed.
    bool layout(uint32_t index, FileLayout& layout) override;
    // The volume's $Bitmap, when it was read.
    bool allocation(const ClusterMap*& map, ClusterGeometry& clusters) override {
        if (!bitmapKnown_ || bytesPerCluster_ == 0) return false;
        map = &bitmap_;
        clusters = {bounds_.start, 0, bytesPerCluster_};
        return true;
    }

private:
    class Records;
    class FoundSource;

    bool buildRecordMap(uint32_t serial, uint64_t mftCluster);
    void loadBitmap();
    // Reads and parses record `index` and completes it as a file from its
    // extension records, all through `source`; false when the record
    // cannot be had or is refused.
    bool loadFile(uint64_t index, bool notInUseOnly, RecordSource& source, NtfsFile& file);
    // At most `length` bytes of a small plain stream (a list, the bitmap),
    // as far as its runs go, into `sink` through the one reader; false when
    // its runs lie outside the volume or the sink refuses.
    bool readWhole(const std::vector<RunListNode>& runs, uint64_t length, ContentSink& sink);
    FileLayout layoutOf(const NtfsFile& file) const;
    // False for an allocation neither the volume nor the runs account for.
    bool believable(const NtfsFile& file) const;

    // The deeper scan's search and its files (NtfsSearch.cpp).
    void searchRecords();
    bool describeFound(size_t which, DeletedFile& file);
    bool layoutFound(size_t which, FileLayout& layout);
    // The found record `number` (with its extension records), read through
    // `way` where the table is asked.
    bool loadFound(uint64_t number, bool tableWay, NtfsFile& file);
    bool heldByTable(const NtfsFile& file);
    FileState stateOf(const NtfsFile& file) const;

    MftLengthLookup mftValidDataLength_;
    uint32_t bytesPerCluster_ = 0;
    uint64_t recordCount_ = 0;
    // The table's own first piece of runs and its allocation: where its
    // unused records lie.
    std::vector<RunListNode> tableRuns_;
    uint64_t tableAllocated_ = 0;
    std::unique_ptr<MftRecordMap> recordMap_;
    uint32_t recordSize_ = 0;
    ClusterMap bitmap_;
    bool bitmapKnown_ = false;
    // The worker's piece reader and folder memory; the lock keeps them
    // whole should describe ever be called from two threads.
    std::mutex tableMutex_;
    std::unique_ptr<MftTableReader> table_;
    std::unique_ptr<NtfsFolders> folders_;
    FoundRecords found_;
    // The found files' folders: found records first, then the table.
    std::unique_ptr<NtfsFolders> foundFolders_;
};

}  // namespace undelete
