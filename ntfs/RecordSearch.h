// The deeper scan of an NTFS volume: master-file-table records that the
// live table does not cover. A quick format writes a short new table over
// the start of the old one and leaves the old records just past its end; a
// format with another cluster size, or a resize, leaves an old table (or a
// piece of one) elsewhere. The search reads the volume's free clusters and
// the live table's allocation past its records, each once, in large
// pieces, and keeps every slot that reads as a record of some table: the
// signature, the update sequence, an attribute walk inside the record, and
// its own stored number consistent with where it lies. What it finds is
// untrusted: the catalogue holds numbers and places only, capped, and the
// records are parsed again whenever they are used.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "ntfs/MftRecord.h"
#include "scan/BudgetedReader.h"
#include "scan/ClusterMap.h"

namespace undelete {

// True when the `recordSize` bytes at `place` (bytes from the volume's
// start) are a record of some table: the parser takes it (signature,
// update sequence, attributes), it stores its own number and its size,
// and that number agrees with the place. A table's records follow one
// another from the start of a cluster (of each piece, when it is in
// pieces), so record n lies n record sizes past a cluster boundary: of
// this volume's clusters, or of 4 KiB ones where this volume's are larger
// (a table left by a format with smaller clusters). `info` is filled.
bool acceptFoundRecord(const uint8_t* bytes, uint32_t recordSize, uint64_t place,
                       uint32_t bytesPerCluster, MftRecordInfo& info);

struct FoundRecord {
    uint64_t number = 0;
    uint64_t position = 0;  // absolute byte offset of its first byte
    uint16_t sequence = 0;
};

// The records found, one per number once finished. At most `limit` are
// kept: the search's slots bound it already, the limit bounds the memory.
class FoundRecords {
public:
    explicit FoundRecords(size_t limit = 0) : limit_(limit) {}
    // False (nothing kept) once `limit` records are held.
    bool add(const FoundRecord& record);
    bool full() const { return records_.size() >= limit_; }
    // Sorts by number and keeps one record per number: the highest
    // sequence number (the latest use of that record), then the first
    // place.
    void finish();
    size_t size() const { return records_.size(); }
    const FoundRecord& operator[](size_t i) const { return records_[i]; }
    // After finish: the record kept for `number`, or null.
    const FoundRecord* find(uint64_t number) const;

private:
    size_t limit_;
    std::vector<FoundRecord> records_;
};

// Absolute bytes [begin, end).
struct ByteRange {
    uint64_t begin = 0;
    uint64_t end = 0;
};

struct SearchVolume {
    uint64_t start = 0;  // absolute byte offset of cluster 0
    uint64_t clusters = 0;
    uint32_t clusterBytes = 0;
    uint32_t recordSize = 0;
};

struct SearchHooks {
    std::function<bool()> stop;                                   // true: end, keep what was found
    std::function<void(uint64_t done, uint64_t total)> progress;  // clusters read
};

class RecordSearch {
public:
    // About this many bytes per read (whole records).
    static constexpr uint32_t kPieceBytes = 4u << 20;

    // `reads` reads each piece, with its budget of failures.
    RecordSearch(BudgetedReader& reads, const SearchVolume& volume, SearchHooks hooks);

    // Reads the clusters `used` marks free (every cluster when `used` is
    // null: the bitmap could not be had) except the bytes of `live` (the
    // live table's records), and the bytes of `tail` (the table's
    // allocation past its records) whose clusters are in use, each once;
    // adds what reads as a record to `found` (not finished). Ends early when
    // stopped, when the reads' budget is spent or when `found` is full.
    // May throw std::bad_alloc.
    void run(const ClusterMap* used, std::vector<ByteRange> live, const std::vector<ByteRange>& tail,
             FoundRecords& found);

private:
    bool ended(const FoundRecords& found);
    // Reads [begin, end) but the live bytes.
    void readOutsideLive(uint64_t begin, uint64_t end, FoundRecords& found);
    void readStretch(uint64_t begin, uint64_t end, FoundRecords& found);
    void readSlots(uint64_t at, uint64_t length, FoundRecords& found);
    void take(const uint8_t* bytes, uint64_t position, FoundRecords& found);
    void tell();

    BudgetedReader& reads_;
    SearchVolume volume_;
    SearchHooks hooks_;
    std::vector<ByteRange> live_;
    std::vector<uint8_t> piece_;
    uint64_t done_ = 0;   // bytes read
    uint64_t total_ = 0;  // bytes to read
};

}  // namespace undelete
