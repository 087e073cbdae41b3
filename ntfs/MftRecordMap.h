// Where every record of the master file table lies on the drive. The
// table is stored as the runs of its own $DATA attribute, so the map keeps
// one extent per run rather than one entry per record: its size depends on
// the run count alone, never on what a record count read from the disk
// says. Records are found by their byte offset in the table's stream, not
// counted run by run: where clusters are smaller than records (512-byte
// clusters, 1024-byte records), a run may end inside a record, whose rest
// then lies at the start of the next run.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "ntfs/MftRecord.h"

namespace undelete {

class MftRecordMap {
public:
    // Bytes streamOffset … streamOffset + length − 1 of the table lie from
    // the absolute byte offset `position` on (the stored clusters of one
    // run, cut where the volume ends).
    struct Extent {
        uint64_t streamOffset = 0;
        uint64_t length = 0;
        uint64_t position = 0;
    };

    // A record lies in at most this many pieces: every piece but the first
    // and the last is a whole run of at least one 512-byte cluster.
    static constexpr size_t kMaxPieces = kMaxMftRecordBytes / 512 + 2;

    // Where one record's bytes lie on the drive, in order.
    struct Place {
        struct Piece {
            uint64_t position = 0;
            uint32_t length = 0;
        };
        Piece pieces[kMaxPieces];
        size_t count = 0;
        // The absolute end of the extent that holds the first piece.
        uint64_t firstExtentEnd = 0;
    };

    // Follows `runs` in list order, each run's clusters continuing the
    // table's stream: a sparse run, and what lies past the absolute byte
    // offset `limit` (the end of the partition or of the disk, whichever
    // comes first) or does not fit 64 bits, takes its part of the stream
    // without a position, and nothing is mapped at or beyond record
    // `recordCount`.
    static MftRecordMap fromRuns(const std::vector<RunListNode>& runs, uint64_t partitionOffset,
                                 uint32_t bytesPerCluster, uint32_t recordSize,
                                 uint64_t recordCount, uint64_t limit = UINT64_MAX);

    // An empty map that `append` fills as fromRuns would.
    MftRecordMap(uint64_t partitionOffset, uint32_t bytesPerCluster, uint32_t recordSize,
                 uint64_t recordCount, uint64_t limit = UINT64_MAX);
    MftRecordMap() = default;

    // Maps the clusters of `runs`, which continue the runs appended before
    // (their distances count from the last of those).
    void append(const RunListNode* runs, size_t count);

    // True when every byte of record `index` is mapped; `place` then says
    // where its pieces lie.
    bool locate(uint64_t index, Place& place) const;

    // The absolute byte offset of record `index`'s first byte, or 0 when
    // some byte of it is not mapped.
    uint64_t entry(uint64_t index) const;

    const std::vector<Extent>& extents() const { return extents_; }

    // One past the highest record number that ends inside the mapped
    // stream (0 when nothing is mapped): the records the disk can
    // actually hold, whatever the table claims.
    uint64_t mappedEnd() const;

    uint32_t recordSize() const { return recordSize_; }

private:
    // The extent that holds byte `streamOffset` of the table, or null.
    const Extent* extentAt(uint64_t streamOffset) const;

    std::vector<Extent> extents_;  // in increasing streamOffset order
    uint32_t recordSize_ = 0;
    uint64_t partitionOffset_ = 0;
    uint32_t bytesPerCluster_ = 0;
    uint64_t streamEnd_ = 0;  // bytes of the first `recordCount` records
    uint64_t limit_ = UINT64_MAX;
    uint64_t cluster_ = 0;  // the last run's first cluster
    uint64_t next_ = 0;     // the stream offset the next run starts at
};

// Reads `length` bytes at the absolute byte offset `position` into `into`.
using PieceReader = std::function<bool(uint64_t position, uint8_t* into, uint32_t length)>;

// The pieces of `place` one after another into `into`; false when a read
// fails.
bool readPlace(const MftRecordMap::Place& place, const PieceReader& read, uint8_t* into);

// Record `index` of `map` into `into` (the map's record size), piece by
// piece; false when some byte of it is not mapped or a read fails.
bool readMappedRecord(const MftRecordMap& map, uint64_t index, const PieceReader& read,
                      uint8_t* into);

}  // namespace undelete
