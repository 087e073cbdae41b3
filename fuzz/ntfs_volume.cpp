// A whole NTFS volume on a memory disk: open, scan (every index described,
// with folders and states) and a streamed save of every listed file to a
// counting sink. The disk is a fixed boot sector (1024-byte clusters and
// records, the table at cluster 4) with the input laid over the table and
// the data area after it. Input byte 0 chooses: bit 0 keeps a fixed table
// record 0 (32 records in one run) over the input's own; bit 1 applies the
// update sequence to every record slot of the table, bit 3 to every slot
// past it, so that the fuzzer reaches the attributes without having to
// learn the fix-ups; bit 2 makes it the deeper scan, which searches the
// volume for records outside the table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "CountingSink.h"
#include "common/Bytes.h"
#include "disk/MemoryDrive.h"
#include "ntfs/NtfsScanner.h"

namespace {

using namespace undelete;

// Small enough that the deeper scan's read buffer comes from the
// allocator's pools: at 256 KiB each input mapped and cleared a fresh one
// (seven times fewer inputs a second).
constexpr size_t kImageBytes = 128 * 1024;
constexpr size_t kCluster = 1024;
constexpr size_t kTable = 4 * kCluster;
constexpr size_t kTableRecords = 32;

void putBootSector(uint8_t* b) {
    b[0] = 0xEB;
    b[1] = 0x52;
    b[2] = 0x90;
    std::memcpy(b + 3, "NTFS    ", 8);
    put16(b + 11, 512);
    b[13] = 2;
    put64(b + 48, kTable / kCluster);
    b[64] = 0xF6;
    put32(b + 72, 0x12345678);
    b[510] = 0x55;
    b[511] = 0xAA;
}

// Record 0: in use, a non-resident unnamed $DATA of one run at cluster 4.
void putTableRecord(uint8_t* r) {
    std::memset(r, 0, kMftRecordBytes);
    std::memcpy(r, "FILE", 4);
    put16(r + 4, 48);
    put16(r + 6, 3);
    put16(r + 20, 56);
    put16(r + 22, 1);
    uint8_t* a = r + 56;
    put32(a, 0x80);
    put32(a + 4, 80);
    a[8] = 1;
    put16(a + 32, 64);
    const uint64_t bytes = kTableRecords * kMftRecordBytes;
    put64(a + 40, bytes);
    put64(a + 48, bytes);
    put64(a + 56, bytes);
    a[64] = 0x11;
    a[65] = static_cast<uint8_t>(bytes / kCluster);
    a[66] = static_cast<uint8_t>(kTable / kCluster);
    put32(a + 80, 0xFFFFFFFF);
}

// The last u16 of each 512-byte stride moves to the array, the update
// sequence number takes its place.
void seal(uint8_t* r) {
    const uint16_t usa = 48;
    put16(r + 4, usa);
    put16(r + 6, 3);
    if (le16(r + usa) == 0) put16(r + usa, 1);
    for (size_t s = 0; s < 2; ++s) {
        uint8_t* last = r + (s + 1) * 512 - 2;
        put16(r + usa + 2 + 2 * s, le16(last));
        put16(last, le16(r + usa));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    // One image for every input, refilled whole: a fresh 128 KiB per input
    // cost more than the scan it fed.
    static const auto image = std::make_shared<MemoryImage>();
    image->bytes.assign(kImageBytes, 0);
    uint8_t* disk = image->bytes.data();
    putBootSector(disk);
    std::memcpy(disk + kTable, data + 1, std::min(size - 1, kImageBytes - kTable));
    if (mode & 1) putTableRecord(disk + kTable);
    if (mode & 2) {
        for (size_t i = (mode & 1) ? 1 : 0; i < kTableRecords; ++i)
            seal(disk + kTable + i * kMftRecordBytes);
    }
    if (mode & 1) seal(disk + kTable);
    if (mode & 8) {
        for (size_t at = kTable + kTableRecords * kMftRecordBytes; at < kImageBytes; at += kMftRecordBytes)
            seal(disk + at);
    }

    PartitionRecord partition;
    partition.partitionType = 0x07;
    partition.totalSectors = kImageBytes / 512;
    ScanContext context{memoryDriveOpener(image), [](const char*) {}, {}, {}, {}};
    context.deepScan = (mode & 4) != 0;
    NtfsScanner scanner(context);
    if (!scanner.open(&partition)) return 0;
    // The count is bounded by the disk, whatever the table claims: the
    // table's records, then at most one found record a slot.
    if (scanner.itemCount() > kImageBytes / 512 + kImageBytes / kMftRecordBytes) std::abort();
    // Records that are not deleted files are not listed.
    fuzz::scanEveryFile(scanner, false);
    return 0;
}
