// The map of the master file table, from the table's own record.
//
// Design note: the table is a file like any other, so where its run list
// outgrew record 0 (a volume that filled up and emptied over years, or a
// table grown into one-cluster holes), record 0 holds an $ATTRIBUTE_LIST
// and the later pieces of the table's $DATA lie in extension records. Those
// records are themselves records of the table: to read the one that holds
// the piece from VCN v on, the table must already be mapped up to that
// record. The knot is untied in VCN order: the map starts with record 0's
// own piece (VCN 0, which always maps the first records, where the volume
// keeps the extension records of the table), and each later piece is read
// from a record that the pieces before it map, then appended, so the map
// grows as it is completed. The first piece that cannot be had (its record
// lies in a part not mapped yet, cannot be read, or belongs to another
// file now; a gap in the VCNs) ends the map there: the records past it
// keep no position and the scanner says that the table is cut. Bounded:
// at most one record read per list entry, the list at most 256 KiB, each
// run appended once.
#pragma once
#include <cstdint>
#include <functional>

#include "ntfs/MftRecord.h"
#include "ntfs/MftRecordMap.h"
#include "ntfs/NtfsFile.h"

namespace undelete {

// The raw bytes (the record size) of record `number` as the map being
// built places it, valid until the next call; null when the map does not
// hold all of it yet or it cannot be read.
using RecordAt = std::function<const uint8_t*(uint64_t number)>;

// The map of `map`'s geometry (an empty map made with the partition's
// offset, cluster and record size, the claimed record count and the
// volume's end) filled from `table`, record 0 as parsed, and from the
// extension records its list names. `streams` reads the list's clusters.
// May throw std::bad_alloc.
void buildTableMap(const MftRecordInfo& table, RecordSource& streams, const RecordAt& recordAt,
                   MftRecordMap& map);

}  // namespace undelete
