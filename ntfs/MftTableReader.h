// Reads records of the master file table in large pieces along the
// table's extents, so that a scan costs one read per piece rather than one
// per record (an unbuffered device answers every request separately), and
// gives up on the table after a run of failed reads instead of failing
// once for every record.
#pragma once
#include <cstdint>
#include <memory>

#include "disk/DriveReader.h"
#include "ntfs/MftRecordMap.h"
#include "scan/BudgetedReader.h"

namespace undelete {

class MftTableReader {
public:
    // About this many bytes per read; less at an extent's end.
    static constexpr uint32_t kPieceBytes = 1u << 20;
    // Failed reads in a row after which the table is no longer read.
    static constexpr uint32_t kMaxFailuresInARow = 16;

    // A piece of its own for each kind of caller, so that lookups of
    // folders elsewhere in the table do not evict the piece a scan walks.
    enum class Slot { Scan, Lookup };

    // `map`'s extents already lie inside the partition and the disk.
    MftTableReader(DriveReader& drive, const MftRecordMap& map);

    // The map's record size in bytes of record `index`, valid until the
    // next call for the same slot; possibly the device's own read-only
    // bytes (parse a copy); null when the extents do not hold all of it,
    // it cannot be read, or the table has been given up.
    const uint8_t* read(uint64_t index, Slot slot);

    bool givenUp() const { return reads_.spent(); }

private:
    // A piece lies in a window onto the device where the drive offers
    // one (no copy), else in the buffer, which is had once and refilled.
    struct Piece {
        uint64_t position = 0;  // absolute byte offset of data[0]
        uint64_t length = 0;    // bytes held
        const uint8_t* data = nullptr;
        std::unique_ptr<DeviceView> view;
        std::unique_ptr<uint8_t[]> bytes;
        uint64_t capacity = 0;  // of bytes: what the longest read so far needed
    };

    bool load(uint64_t extentEnd, uint64_t position, Piece& piece);
    bool readPiece(uint64_t start, uint64_t length, Piece& piece);
    void prefetchAhead(const Piece& piece, uint64_t at) const;
    static constexpr uint32_t kPrefetchRecords = 8;
    const uint8_t* readSingle(const MftRecordMap::Place& place);

    DriveReader& drive_;
    BudgetedReader reads_;
    const MftRecordMap& map_;
    Piece pieces_[2];
    uint8_t single_[kMaxMftRecordBytes] = {};
    // The last piece that could not be read whole: its records are read
    // one by one without asking for the piece again.
    uint64_t failedStart_ = 0;
    uint64_t failedEnd_ = 0;
};

}  // namespace undelete
