#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/Crc32.h"
#include "partition/Gpt.h"
#include "partition/PartitionRows.h"
#include "partition/PartitionTableWalker.h"
#include "support/BootSectors.h"
#include "support/MemoryDisk.h"

using namespace undelete;
using undelete::test::MemoryDisk;
using undelete::test::writeFat32Boot;

namespace {

// Type GUIDs as stored on disk (first three fields little-endian).
const uint8_t kEfi[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                          0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
const uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
const uint8_t kLinux[16] = {0xAF, 0x3D, 0xC6, 0x0F, 0x83, 0x84, 0x72, 0x47,
                            0x8E, 0x79, 0x3D, 0x69, 0xD8, 0x47, 0x7D, 0xE4};
const uint8_t kMsr[16] = {0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                          0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};

constexpr uint64_t kDiskSectors = 300;
constexpr uint32_t kEntries = 128;      // 128-byte entries: 32 sectors of array
constexpr uint64_t kBackupArray = kDiskSectors - 1 - 32;

// A disk with a protective MBR and both copies of a GPT, CRCs sealed.
class GptDisk {
public:
    GptDisk() : disk_(kDiskSectors * 512) {
        uint8_t* mbr = disk_.at(0);
        mbr[446 + 4] = 0xEE;
        put32(mbr + 446 + 8, 1);
        put32(mbr + 446 + 12, kDiskSectors - 1);
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
    }

    void add(int slot, const uint8_t* type, uint64_t first, uint64_t last, uint64_t attributes = 0) {
        for (uint64_t array : {uint64_t{2}, kBackupArray}) {
            uint8_t* e = disk_.at(array * 512 + static_cast<uint64_t>(slot) * 128);
            std::memcpy(e, type, 16);
            e[16] = static_cast<uint8_t>(slot + 1);  // unique GUID
            put64(e + 32, first);
            put64(e + 40, last);
            put64(e + 48, attributes);
        }
    }

    // Writes both headers over the arrays as they stand.
    void seal() {
        writeHeader(1, kDiskSectors - 1, 2);
        writeHeader(kDiskSectors - 1, 1, kBackupArray);
    }

    uint8_t* header(uint64_t lba) { return disk_.at(lba * 512); }
    uint8_t* array(uint64_t lba) { return disk_.at(lba * 512); }
    MemoryDisk& disk() { return disk_; }

    std::vector<PartitionRecord> walk(PartitionTableKind* kind = nullptr) {
        std::vector<PartitionRecord> records;
        const PartitionTableKind found = walkPartitionTable(
            disk_.opener(), {}, [&](const PartitionRecord& r, uint32_t) { records.push_back(r); });
        if (kind != nullptr) *kind = found;
        return records;
    }

private:
    void writeHeader(uint64_t lba, uint64_t alternate, uint64_t entriesLba) {
        uint8_t* h = header(lba);
        std::memset(h, 0, 512);
        std::memcpy(h, "EFI PART", 8);
        put32(h + 8, 0x00010000);
        put32(h + 12, 92);
        put64(h + 24, lba);
        put64(h + 32, alternate);
        put64(h + 40, 34);
        put64(h + 48, kBackupArray - 1);
        put64(h + 72, entriesLba);
        put32(h + 80, kEntries);
        put32(h + 84, 128);
        put32(h + 88, crc32(array(entriesLba), kEntries * 128));
        put32(h + 16, crc32(h, 92));
    }

    MemoryDisk disk_;
};

// Recomputes the CRC of a 512-byte header after a field was changed (over
// the whole sector when the header size field claims more).
void reseal(uint8_t* h) {
    put32(h + 16, 0);
    put32(h + 16, crc32(h, std::min<uint32_t>(le32(h + 12), 512)));
}

TEST(Crc32, KnownVectorsAndPieces) {
    const std::string check = "123456789";
    const auto* bytes = reinterpret_cast<const uint8_t*>(check.data());
    EXPECT_EQ(crc32(bytes, check.size()), 0xCBF43926u);
    EXPECT_EQ(crc32(bytes + 4, check.size() - 4, crc32(bytes, 4)), 0xCBF43926u);
    EXPECT_EQ(crc32(nullptr, 0), 0u);
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>(fox.data()), fox.size()), 0x414FA339u);
}

TEST(GptTable, ListsUsedEntriesWithProbedFileSystemTypeTextAndAddress) {
    GptDisk gpt;
    gpt.add(0, kEfi, 34, 99, 1u << 2);
    gpt.add(2, kBasicData, 100, 16164);  // slot 1 unused; reaches past the device
    gpt.add(3, kLinux, 200, 150);        // last before first: no partition
    gpt.add(5, kMsr, 250, 260);
    // A FAT32 boot sector at LBA 100.
    writeFat32Boot(gpt.disk().at(100 * 512));
    gpt.seal();

    PartitionTableKind kind = PartitionTableKind::None;
    auto records = gpt.walk(&kind);
    EXPECT_EQ(kind, PartitionTableKind::Gpt);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].table, PartitionTableKind::Gpt);
    EXPECT_EQ(records[0].fileSystem, FileSystemKind::Unknown);
    EXPECT_EQ(records[0].partitionType, 0xEE);
    EXPECT_EQ(records[1].fileSystem, FileSystemKind::Fat32);
    EXPECT_EQ(records[1].partitionType, 0x0C);
    EXPECT_EQ(records[1].firstSector(), 100u);
    EXPECT_EQ(records[1].totalSectors, 16065u);
    EXPECT_EQ(records[1].presentSectors(), kDiskSectors - 100);
    EXPECT_EQ(std::memcmp(records[1].typeGuid, kBasicData, 16), 0);

    auto texts = partitionRowTexts(0, records[0], 512);
    EXPECT_EQ(texts[1], "UNKNOWN(活动)");
    EXPECT_EQ(texts[2], "EFI");
    texts = partitionRowTexts(1, records[1], 512);
    EXPECT_EQ(texts[1], "FAT32");
    EXPECT_EQ(texts[2], "数据");
    // Start LBA 100: cylinder 0, head 1, sector 38; end 16164: 1, 1, 37.
    EXPECT_EQ((std::vector<std::string>(texts.begin() + 3, texts.begin() + 9)),
              (std::vector<std::string>{"0", "1", "38", "1", "1", "37"}));
    EXPECT_EQ(partitionRowTexts(2, records[2], 512)[2], "MSR");
}

TEST(GptTable, DamagedPrimaryFallsBackToTheBackupAndBothDamagedToTheMbr) {
    GptDisk gpt;
    gpt.add(0, kBasicData, 40, 49);
    gpt.seal();
    gpt.header(1)[60] ^= 1;  // header CRC mismatch
    auto records = gpt.walk();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].table, PartitionTableKind::Gpt);
    gpt.seal();
    gpt.array(2)[32] ^= 1;  // primary entries' CRC mismatch (the first LBA now 41)
    records = gpt.walk();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].table, PartitionTableKind::Gpt);
    EXPECT_EQ(records[0].firstSector(), 40u);  // the backup's entry, unharmed

    gpt.header(kDiskSectors - 1)[60] ^= 1;  // both copies damaged
    PartitionTableKind kind = PartitionTableKind::None;
    records = gpt.walk(&kind);
    EXPECT_EQ(kind, PartitionTableKind::Mbr);
    ASSERT_EQ(records.size(), 1u);  // the protective entry itself
    EXPECT_EQ(records[0].partitionType, 0xEE);
    EXPECT_EQ(partitionRowTexts(0, records[0], 512)[2], "EE");
}

TEST(GptHeader, ClaimsOutsideTheBoundsAreRefused) {
    GptDisk gpt;
    gpt.seal();
    struct Case {
        const char* what;
        size_t offset;
        uint32_t value;
        GptHeaderCheck expected;
    } cases[] = {
        {"header size below 92", 12, 91, GptHeaderCheck::BadHeaderSize},
        {"header size beyond the sector", 12, 513, GptHeaderCheck::BadHeaderSize},
        {"another LBA", 24, 7, GptHeaderCheck::WrongLba},
        {"entry size below 128", 84, 120, GptHeaderCheck::BadEntrySize},
        {"entry size not a multiple of 8", 84, 132, GptHeaderCheck::BadEntrySize},
        {"entry size above the bound", 84, 2048, GptHeaderCheck::BadEntrySize},
        {"too many entries", 80, kGptMaxEntries + 1, GptHeaderCheck::TooManyEntries},
        {"array past the device", 80, 1024, GptHeaderCheck::ArrayOutOfPlace},
        {"array over the header", 72, 1, GptHeaderCheck::ArrayOutOfPlace},
        {"array at LBA 0", 72, 0, GptHeaderCheck::ArrayOutOfPlace},
    };
    for (const Case& c : cases) {
        uint8_t h[512];
        std::memcpy(h, gpt.header(1), sizeof h);
        put32(h + c.offset, c.value);
        reseal(h);
        GptHeader header;
        // 1024 entries of 128 bytes need 256 sectors: more than the device has after 2.
        EXPECT_EQ(parseGptHeader(h, 512, 1, 200, header), c.expected) << c.what;
    }
    uint8_t h[512];
    std::memcpy(h, gpt.header(1), sizeof h);
    GptHeader header;
    EXPECT_EQ(parseGptHeader(h, 512, 1, kDiskSectors, header), GptHeaderCheck::Valid);
    EXPECT_EQ(parseGptHeader(h, 512, 1, 0, header), GptHeaderCheck::Valid);  // size unknown
    h[16] ^= 1;
    EXPECT_EQ(parseGptHeader(h, 512, 1, kDiskSectors, header), GptHeaderCheck::BadCrc);
    h[0] = 'X';
    EXPECT_EQ(parseGptHeader(h, 512, 1, kDiskSectors, header), GptHeaderCheck::NoSignature);
}

TEST(GptTable, TypeTexts) {
    EXPECT_EQ(gptTypeText(kEfi), "EFI");
    EXPECT_EQ(gptTypeText(kLinux), "Linux");
    const uint8_t other[16] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(gptTypeText(other), "?12345678");
}

}  // namespace
