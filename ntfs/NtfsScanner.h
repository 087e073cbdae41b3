// Scanner of NTFS partitions: maps every record of the master file table
// to its place on the drive (the table's own pieces in all its extension
// records), lists deleted files that still have a name (from their base
// record or the extension records its attribute list names) and reads
// their content, resident or in runs, decompressing compressed units.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "disk/DriveReader.h"
#include "ntfs/ClusterBitmap.h"
#include "ntfs/FolderPaths.h"
#include "ntfs/MftRecord.h"
#include "ntfs/MftRecordMap.h"
#include "ntfs/MftTableReader.h"
#include "ntfs/NtfsFile.h"
#include "ntfs/StreamReader.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete {

// Told when the table's record count is cut: it claims more records than
// the partition holds, or more than the runs the scanner follows map.
extern const char kTableBeyondPartitionMessage[];
extern const char kTableUnmappedMessage[];
// Shown by a save: compressed data whose units cannot be decoded at all
// (the save fails), damaged units saved as zeros (counted as lost), and a
// file saved as the encrypted bytes it holds.
extern const char kCompressedDamagedMessage[];
extern const char kCompressedUnitsZeroedMessage[];
extern const char kEncryptedSavedMessage[];

class NtfsScanner : public VolumeScanner {
public:
    // Failed reads in a row after which a save, or the table, reads no more.
    static constexpr uint32_t kMaxReadFailuresInARow = 16;

    explicit NtfsScanner(const ScanContext& context);

    // Reads the boot sector and the table's own record, learns the table's
    // valid data length (from the context's lookup when it has one, else
    // from that record), maps the records that lie inside the partition
    // and the disk, and loads the cluster bitmap (a bitmap that cannot be
    // had leaves every state Unknown; the open still succeeds).
    bool open(const PartitionRecord* record) override;

    // True for every index below the record count: at most the records
    // the map's extents hold, never the table's claimed length alone.
    bool hasItem(uint32_t index) override;
    uint64_t itemCount() override { return recordCount_; }

    // True for a deleted base record (flags 0) whose file has a name
    // outside the DOS namespace: its name, size, creation time, folder and
    // state are written to `file`. Extension records are parts of other
    // files, never files of their own. Records are read in large pieces
    // (worker thread).
    bool describe(uint32_t index, DeletedFile& file) override;

    // The file's content: the resident value, or its joined runs in VCN
    // order (sparse runs and bytes past the initialized size as holes,
    // compressed units decoded), up to the data size. False before anything
    // reaches the sink when a run lies, even partly, outside the partition
    // or the disk; a piece that cannot be read inside them goes to the sink
    // as lost, and so does what the runs leave uncovered. A compressed unit
    // that does not decode goes to the sink as lost too, with a message
    // (one per save); an encrypted file's bytes are saved as they lie, with
    // a message.
    bool readContent(uint32_t index, ContentSink& sink) override;

private:
    class TableRecords;
    class DirectRecords;

    bool buildRecordMap(uint32_t serial, uint64_t mftCluster);
    void loadBitmap();
    // Reads and parses record `index` and completes it as a file from its
    // extension records, all through `source`; false when the record
    // cannot be had or is refused.
    bool loadFile(uint64_t index, bool notInUseOnly, RecordSource& source, NtfsFile& file);
    // At most `length` bytes of a small plain stream (a list, the bitmap)
    // as far as its runs go; false when any of it cannot be read, or, when
    // `stoppable`, once the scan is stopped.
    bool readWhole(const std::vector<RunListNode>& runs, uint64_t length,
                   std::vector<uint8_t>& bytes, bool stoppable = false);
    StreamResult streamData(const NtfsFile& file, uint64_t length, ContentSink& sink);
    FileState stateOf(const NtfsFile& file) const;

    DriveReader drive_;
    MessageSink messages_;
    std::function<bool()> stopRequested_;
    MftLengthLookup mftValidDataLength_;
    MessageSink toldIncomplete_;
    VolumeGeometry volume_;
    uint64_t recordCount_ = 0;
    std::unique_ptr<MftRecordMap> recordMap_;
    uint32_t recordSize_ = 0;
    ClusterBitmap bitmap_;
    // The worker's piece reader and folder memory; the lock keeps them
    // whole should describe ever be called from two threads.
    std::mutex tableMutex_;
    std::unique_ptr<MftTableReader> table_;
    std::unique_ptr<FolderPaths> folders_;
};

}  // namespace undelete
