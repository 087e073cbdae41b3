// One master file table record reduced to what the scanner needs: the
// file's name ($FILE_NAME value) and where its content lies (a resident
// $DATA value, or the sizes and run list of a non-resident one).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace undelete {

// The usual record size, and the largest the parser takes: volumes on
// disks with 4096-byte sectors have records of a whole sector.
constexpr size_t kMftRecordBytes = 1024;
constexpr size_t kMaxMftRecordBytes = 4096;

// 1024, 2048 or 4096: the record sizes a boot sector may give.
constexpr bool isMftRecordSize(uint64_t bytes) {
    return bytes >= kMftRecordBytes && bytes <= kMaxMftRecordBytes && (bytes & (bytes - 1)) == 0;
}
constexpr size_t kFileNameValueBytes = 1090;  // 66-byte fixed part + 512 UTF-16 units
constexpr size_t kFileNameNameOffset = 66;
constexpr size_t kFileNameTimeOffset = 8;

// One decoded run: `runLength` clusters at the signed distance `runOffset`
// from the previous run's first cluster. A sparse run (empty offset field)
// has no clusters on the disk; its distance is 0.
struct RunListNode {
    uint64_t runLength = 0;
    int64_t runOffset = 0;
    bool sparse = false;
};

// Record header flags.
constexpr uint16_t kRecordInUse = 0x0001;
constexpr uint16_t kRecordIsDirectory = 0x0002;

// Attribute header flags: how a stream's clusters are to be read.
constexpr uint16_t kAttrCompressionMask = 0x00FF;
constexpr uint16_t kAttrEncrypted = 0x4000;
constexpr uint16_t kAttrSparse = 0x8000;

// Attribute types the scanner reads.
constexpr uint32_t kTypeAttributeList = 0x20;
constexpr uint32_t kTypeFileName = 0x30;
constexpr uint32_t kTypeData = 0x80;
constexpr uint32_t kTypeLoggedUtilityStream = 0x100;

// One piece of a non-resident attribute: the runs of its clusters from
// `lowestVcn` to `highestVcn`. A file whose run list outgrew its record
// keeps the later pieces in extension records.
struct DataExtent {
    uint64_t lowestVcn = 0;
    uint64_t highestVcn = 0;
    std::vector<RunListNode> runs;
};

// Where a record's $ATTRIBUTE_LIST value lies: in the record, or in
// clusters of its own.
struct AttributeListSource {
    bool present = false;
    bool nonResident = false;
    std::vector<uint8_t> value;  // the resident value
    uint64_t allocatedSize = 0;  // of the non-resident value
    uint64_t dataSize = 0;
    std::vector<RunListNode> runs;
};

// The folder root's record number.
constexpr uint64_t kRootRecord = 5;

// A file reference: a 48-bit record number and the 16-bit sequence number
// the record had when the reference was made.
inline uint64_t referenceRecord(uint64_t reference) { return reference & 0xFFFFFFFFFFFFULL; }
inline uint16_t referenceSequence(uint64_t reference) {
    return static_cast<uint16_t>(reference >> 48);
}

struct MftRecordInfo {
    // From the record header: how many times the record has been reused
    // (each free moves it on), and the in-use and directory flags.
    uint16_t sequenceNumber = 0;
    uint16_t flags = 0;
    // The record's own number, where the header is long enough to store it
    // (offset 44, before an update sequence array at 48 or later).
    bool numbered = false;
    uint32_t recordNumber = 0;
    // The bytes the record says it has (header offset 28).
    uint32_t allocatedBytes = 0;
    // An extension record's base record (with the base's sequence number
    // when it was made); 0 for a base record.
    uint64_t baseReference = 0;
    // The folder the retained $FILE_NAME value names as the parent (value
    // offset 0); 0 without such a value.
    uint64_t parentReference = 0;
    // The retained $FILE_NAME value (the last one outside the DOS
    // namespace), copied to the start; the rest is zero.
    std::array<uint8_t, kFileNameValueBytes> fileName{};
    // Of the retained non-resident unnamed $DATA attribute: the piece that
    // starts at VCN 0 (its header holds the stream's sizes).
    uint64_t dataSize = 0;
    uint64_t allocatedSize = 0;
    uint64_t initializedSize = 0;
    uint64_t highestVcn = 0;
    std::vector<RunListNode> runs;
    // The retained unnamed $DATA's flags (compressed, encrypted, sparse)
    // and compression unit (a power of two of clusters; 0: none).
    uint16_t dataFlags = 0;
    uint8_t compressionUnit = 0;
    // Pieces of the unnamed $DATA that start past VCN 0, in record order
    // (an extension record's part of a long run list).
    std::vector<DataExtent> laterExtents;
    AttributeListSource attributeList;
    // The record holds an encrypted file's key stream ($EFS).
    bool efs = false;
    // The retained resident unnamed $DATA value.
    std::array<uint8_t, kMaxMftRecordBytes> residentData{};
    // −1: the content is non-resident; otherwise the resident byte count
    // (0 also when the record has no unnamed $DATA attribute).
    int32_t dataLength = 0;

    bool nonResident() const { return dataLength == -1; }
};

// Checks the signature and the update sequence of the record of
// `recordSize` bytes (1024, 2048 or 4096) in `bytes`, refuses a record
// whose flags are not zero when `notInUseOnly` is set, and walks the
// attributes into `info`. False (no message) when the record is refused;
// `info` is then to be discarded. Never reads outside the record, whatever
// it holds.
bool parseRecord(const uint8_t* bytes, size_t recordSize, bool notInUseOnly, MftRecordInfo& info);

// The flags of the record in `bytes` as they lie (offset 22 is outside the
// update-sequence positions), for a quick refusal before a parse; false
// when the buffer is too short for a header or the signature is not "FILE".
bool peekRecordFlags(const uint8_t* bytes, size_t length, uint16_t& flags);

// Parses the table's own record (in use, so its flags are not tested):
// true when it has the non-resident unnamed $DATA whose runs and sizes
// describe the whole table.
inline bool parseTableRecord(const uint8_t* bytes, size_t length, MftRecordInfo& info) {
    return parseRecord(bytes, length, false, info) && info.nonResident();
}

// Undoes the update-sequence protection of a record of `recordSize` bytes
// in place: the record's array count says how many strides it has (each
// 512 bytes, or the volume's sector), and the last u16 of each must equal
// the update sequence number and is replaced by its array entry. Also
// checks the signature.
bool loadRecord(uint8_t* record, size_t recordSize = kMftRecordBytes);

// Decodes the run list in `bytes` (at most `length` bytes) into `runs`.
// The list ends at a zero header byte, at a field size above 8, or where a
// run's fields would cross the end of the bytes.
void decodeRunList(const uint8_t* bytes, size_t length, std::vector<RunListNode>& runs);

}  // namespace undelete
