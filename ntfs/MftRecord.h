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
    // The folder the retained $FILE_NAME value names as the parent (value
    // offset 0); 0 without such a value.
    uint64_t parentReference = 0;
    // The retained $FILE_NAME value (the last one outside the DOS
    // namespace), copied to the start; the rest is zero.
    std::array<uint8_t, kFileNameValueBytes> fileName{};
    // Of the retained non-resident unnamed $DATA attribute.
    uint64_t dataSize = 0;
    uint64_t allocatedSize = 0;
    uint64_t initializedSize = 0;
    std::vector<RunListNode> runs;
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
