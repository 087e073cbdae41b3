// One file as the scanner reads it: its base record merged with the
// extension records its attribute list names. A file whose attributes
// outgrew its record keeps an $ATTRIBUTE_LIST in the base record, and its
// name and the later pieces of its run list in extension records; the file
// object gathers them, so that naming, sizing and reading a file never
// need to know which record an attribute came from.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ntfs/AttributeList.h"
#include "ntfs/MftRecord.h"

namespace undelete {

// Where the file object gets its records and its list's clusters.
class RecordSource {
public:
    virtual ~RecordSource() = default;
    virtual size_t recordSize() const = 0;
    // The raw bytes (update sequence not undone) of record `number`, valid
    // until the next call; null when the record cannot be had.
    virtual const uint8_t* rawRecord(uint64_t number) = 0;
    // At most `length` bytes of the stream whose clusters `runs` give (as
    // many as they cover); false when a cluster cannot be read or lies
    // outside the volume.
    virtual bool readStream(const std::vector<RunListNode>& runs, uint64_t length,
                            std::vector<uint8_t>& bytes) = 0;
};

// How much of a file its records still give.
enum class FilePieces : uint8_t {
    Whole,
    Unreadable,  // a record the list names, or the list itself, cannot be read
    Reused,      // a record the list names belongs to another file now
};

struct NtfsFile {
    uint64_t number = 0;
    // The base record, with the name, the unnamed $DATA (its pieces joined
    // in VCN order) and the $EFS mark gathered from its extension records.
    MftRecordInfo info;
    FilePieces pieces = FilePieces::Whole;

    bool encrypted() const { return (info.dataFlags & kAttrEncrypted) != 0 || info.efs; }
    bool compressed() const {
        return (info.dataFlags & kAttrCompressionMask) != 0 && info.nonResident();
    }
};

// A list's value is at most this long; more is not a list.
constexpr uint64_t kMaxAttributeListBytes = 256 * 1024;
// Runs kept of one file's pieces at most (24 MiB of them): a list of
// 8,192 extension records full of runs could name four times as many, and
// a run list past this point is taken as lost rather than held.
constexpr size_t kMaxFileRuns = size_t{1} << 20;

// Whether extension record `extension` (named by a list entry with the
// sequence number `entrySequence`; 0: none given) is still part of base
// record `number` as `base` holds it. A deleted file's records were freed
// together, each free moving a sequence number on by one, so for a
// deleted base the extension may be one behind it and one past the entry;
// for a live base everything must be exact and in use.
bool extensionBelongs(const MftRecordInfo& extension, uint64_t number, const MftRecordInfo& base,
                      uint16_t entrySequence);

// The value of `base`'s attribute list: the resident bytes, or the
// clusters (at most kMaxAttributeListBytes). A deleted record's list is
// read over its whole allocation, not its size: deleting can shrink the
// size over entries that still hold.
bool readAttributeListValue(const MftRecordInfo& base, RecordSource& source,
                            std::vector<uint8_t>& value);

// Completes `file.info` (record `file.number`, already parsed) from the
// records its list names: each read once, each checked to belong to it;
// entries after the first fault in the list are not followed. The name is
// taken from the first record that has one (a deleted extension record's
// removed name from behind its end marker); the unnamed $DATA from all its
// pieces in VCN order, to the first gap. May throw std::bad_alloc.
void completeFile(RecordSource& source, NtfsFile& file);

}  // namespace undelete
