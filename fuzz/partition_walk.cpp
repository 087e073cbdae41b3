// The partition walk (MBR, EBR chain, GPT with its backup, bare volume) on
// a memory disk of about 4 MiB: the input's first byte chooses the variant,
// the next 34 sectors' worth lands at the start of the disk (the MBR, EBRs
// there, the primary GPT), the rest (up to 33 sectors) at its end (the
// backup GPT). Every row must stay within the device, however the table
// lies. Then the search for volumes beside those rows (its places there:
// sector 0 with its backups 6 and 12 sectors in, and the last sector): each
// volume it finds starts on the disk and overlaps neither another nor a row
// whose boot sector names a file system.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "common/Bytes.h"
#include "common/Crc32.h"
#include "disk/MemoryDrive.h"
#include "partition/Gpt.h"
#include "core/DiskSource.h"
#include "partition/PartitionRows.h"
#include "partition/PartitionTableWalker.h"
#include "partition/VolumeProbe.h"

namespace {

using namespace undelete;

constexpr size_t kInputSector = 512;
constexpr size_t kHeadBytes = 34 * kInputSector;
constexpr size_t kTailBytes = 33 * kInputSector;
constexpr size_t kDiskBytes = 4u << 20;
constexpr size_t kMaxShrink = 3 * 3 * kInputSector;

// Seals a GPT header found at `lba` over what the input put there: the
// entries' CRC (when the array lies on the disk) and the header's own, so
// that mutations reach the code behind the checks.
void seal(std::vector<uint8_t>& disk, uint64_t lba, uint32_t sectorBytes) {
    if (lba > (disk.size() - sectorBytes) / sectorBytes) return;
    uint8_t* h = disk.data() + lba * sectorBytes;
    if (std::memcmp(h, "EFI PART", 8) != 0) return;
    const uint64_t arrayAt = le64(h + 72);
    const uint64_t arrayBytes = uint64_t{le32(h + 80)} * le32(h + 84);
    if (arrayAt < disk.size() / sectorBytes && arrayBytes <= disk.size() - arrayAt * sectorBytes) {
        put32(h + 88, crc32(disk.data() + arrayAt * sectorBytes, static_cast<size_t>(arrayBytes)));
    }
    const uint32_t size = std::min(std::max(le32(h + 12), 92u), sectorBytes);
    put32(h + 16, 0);
    put32(h + 16, crc32(h, size));
}

std::shared_ptr<MemoryImage> makeImage() {
    auto image = std::make_shared<MemoryImage>();
    image->bytes.assign(kDiskBytes, 0);
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::shared_ptr<MemoryImage> image = makeImage();
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    ++data;
    --size;

    // Back to zeros where the last input wrote, then this input's layout.
    std::vector<uint8_t>& disk = image->bytes;
    disk.resize(kDiskBytes, 0);
    std::fill(disk.begin(), disk.begin() + kHeadBytes, 0);
    std::fill(disk.end() - static_cast<std::ptrdiff_t>(kTailBytes + kMaxShrink), disk.end(), 0);
    disk.resize(kDiskBytes - ((flags >> 1) & 3) * 3 * kInputSector);  // the backup moves
    const size_t head = std::min(size, kHeadBytes);
    std::memcpy(disk.data(), data, head);
    const size_t tail = std::min(size - head, kTailBytes);
    std::memcpy(disk.data() + disk.size() - kTailBytes, data + head, tail);
    image->geometry.bytesPerSector = (flags & 8) ? 4096 : 512;
    const uint32_t sectorBytes = image->geometry.bytesPerSector;
    const uint64_t deviceSectors = disk.size() / sectorBytes;
    if (flags & 1) {
        seal(disk, 1, sectorBytes);
        seal(disk, deviceSectors - 1, sectorBytes);
    }

    std::vector<PartitionRow> rows;
    const PartitionTableKind kind = partitionRows(DiskSource{memoryDriveOpener(image)}, {}, rows);
    const size_t bound = kind == PartitionTableKind::Gpt ? kGptMaxEntries
                                                         : 4 + 4 * size_t{kMaxExtendedRecords};
    if (rows.size() > bound) __builtin_trap();
    for (const PartitionRow& row : rows) {
        const PartitionRecord& r = row.record;
        if (r.deviceSectors != deviceSectors) __builtin_trap();
        const uint64_t present = r.presentSectors();
        if (present > r.totalSectors) __builtin_trap();
        if (present > 0 && (r.firstSector() >= deviceSectors ||
                            present > deviceSectors - r.firstSector())) {
            __builtin_trap();
        }
        (void)scannedFileSystem(r);
    }

    const FoundRows found = findLostVolumes(DiskSource{memoryDriveOpener(image)}, rows, {});
    if (found.stopped || found.rows.size() > kMaxVolumeCandidates) __builtin_trap();
    const auto overlap = [](const PartitionRecord& a, const PartitionRecord& b) {
        return a.firstSector() < b.firstSector() + b.totalSectors &&
               b.firstSector() < a.firstSector() + a.totalSectors;
    };
    for (size_t i = 0; i < found.rows.size(); ++i) {
        const PartitionRecord& r = found.rows[i].record;
        if (r.table != PartitionTableKind::Found || r.firstSector() >= deviceSectors ||
            r.totalSectors == 0 || r.totalSectors > UINT64_MAX - r.firstSector()) {
            __builtin_trap();
        }
        for (size_t j = 0; j < i; ++j) {
            if (overlap(r, found.rows[j].record)) __builtin_trap();
        }
        for (const PartitionRow& row : rows) {
            const FileSystemKind fs = row.record.fileSystem;
            const bool named = fs != FileSystemKind::NotProbed && fs != FileSystemKind::Unknown;
            const uint64_t end = row.record.totalSectors > UINT64_MAX - row.record.firstSector()
                                     ? UINT64_MAX
                                     : row.record.firstSector() + row.record.totalSectors;
            if (named && r.firstSector() < end && row.record.firstSector() < r.firstSector() + r.totalSectors) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
