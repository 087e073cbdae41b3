#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Text.h"
#include "partition/ExfatBootSector.h"
#include "exfat/ExfatDirectory.h"

using namespace undelete;

namespace {

// Two deleted entry sets as mkfs.exfat and the exfat-fuse driver left them
// (every InUse bit cleared, UTC offset +8 h): "报告.txt", 1000 bytes at
// cluster 10, and "Résumé été.txt", 3000 bytes at cluster 784.
const std::vector<uint8_t> kDeletedReport = {
    0x05, 0x02, 0xe5, 0xa1, 0x20, 0x00, 0x00, 0x00, 0xf3, 0xad, 0x7b, 0x57, 0xf3, 0xad, 0x7b, 0x57,
    0xf3, 0xad, 0x7b, 0x57, 0x00, 0x00, 0xa0, 0xa0, 0xa0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x40, 0x03, 0x00, 0x06, 0x58, 0xa2, 0x00, 0x00, 0xe8, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x00, 0xe8, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x41, 0x00, 0xa5, 0x62, 0x4a, 0x54, 0x2e, 0x00, 0x74, 0x00, 0x78, 0x00, 0x74, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};
const std::vector<uint8_t> kDeletedResume = {
    0x05, 0x02, 0x26, 0x8d, 0x20, 0x00, 0x00, 0x00, 0x45, 0x51, 0x4a, 0x4b, 0x45, 0x51, 0x4a, 0x4b,
    0x45, 0x51, 0x4a, 0x4b, 0x00, 0x00, 0xa0, 0xa0, 0xa0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x40, 0x03, 0x00, 0x0e, 0xf2, 0x4e, 0x00, 0x00, 0xb8, 0x0b, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x10, 0x03, 0x00, 0x00, 0xb8, 0x0b, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x41, 0x00, 0x52, 0x00, 0xe9, 0x00, 0x73, 0x00, 0x75, 0x00, 0x6d, 0x00, 0xe9, 0x00, 0x20, 0x00,
    0xe9, 0x00, 0x74, 0x00, 0xe9, 0x00, 0x2e, 0x00, 0x74, 0x00, 0x78, 0x00, 0x74, 0x00, 0x00, 0x00,
};

// The geometry mkfs.exfat gives a 64 MiB volume.
constexpr ExfatWalkBounds kBounds{15872 + 2, 4096};

std::vector<ExfatEntrySet> walk(const std::vector<uint8_t>& bytes,
                                const ExfatWalkBounds& bounds = kBounds,
                                ExfatWalkSummary* summary = nullptr) {
    std::vector<ExfatEntrySet> sets;
    const ExfatWalkSummary s = walkExfatDirectory(
        bytes.data(), bytes.size(), bounds, [&](const ExfatEntrySet& set) { sets.push_back(set); });
    if (summary != nullptr) *summary = s;
    return sets;
}

// A live set named `name` (ASCII), with its checksum and hash, at `cluster`.
std::vector<uint8_t> liveSet(const std::string& name, uint32_t cluster, uint64_t length,
                             uint8_t flags = kExfatAllocationPossible | kExfatNoFatChain) {
    const size_t names = (name.size() + 14) / 15;
    std::vector<uint8_t> set((2 + names) * kExfatEntrySize, 0);
    set[0] = kExfatFile;
    set[kFileSecondaryCount] = static_cast<uint8_t>(1 + names);
    uint8_t* stream = set.data() + kExfatEntrySize;
    stream[0] = kExfatStreamExtension;
    stream[kStreamGeneralSecondaryFlags] = flags;
    stream[kStreamNameLength] = static_cast<uint8_t>(name.size());
    put64(stream + kStreamValidDataLength, length);
    put32(stream + kStreamFirstCluster, cluster);
    put64(stream + kStreamDataLength, length);
    std::vector<uint16_t> units(name.begin(), name.end());
    for (size_t i = 0; i < name.size(); ++i) {
        uint8_t* entry = set.data() + (2 + i / 15) * kExfatEntrySize;
        entry[0] = kExfatFileName;
        put16(entry + kFileNameUnitsAt + (i % 15) * 2, units[i]);
    }
    put16(set.data() + kFileSetChecksum, exfatSetChecksum(set.data(), 2 + names));
    return set;
}

std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class Exfat : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(initProcessLocale()); }
};

TEST_F(Exfat, DeletedSetsFromTheDriverReadWholeWithTheirChecksums) {
    ExfatWalkSummary summary;
    const auto sets = walk(joined({kDeletedReport, kDeletedResume}), kBounds, &summary);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(summary.strays, 0u);
    EXPECT_FALSE(summary.endSeen);
    const ExfatEntrySet& report = sets[0];
    EXPECT_TRUE(report.deleted);
    EXPECT_TRUE(report.checksumValid);
    EXPECT_TRUE(report.extentValid);
    EXPECT_EQ(report.name, "报告.txt");
    EXPECT_EQ(report.firstCluster, 10u);
    EXPECT_EQ(report.dataLength, 1000u);
    EXPECT_EQ(report.validDataLength, 1000u);
    EXPECT_TRUE(report.noFatChain());
    EXPECT_FALSE(report.isDirectory());
    EXPECT_EQ(sets[1].offset, 3 * kExfatEntrySize);
    EXPECT_EQ(sets[1].name, "Résumé été.txt");
    EXPECT_TRUE(sets[1].checksumValid);
}

TEST_F(Exfat, ABrokenChecksumIsToldAndTheSetStillListed) {
    std::vector<uint8_t> bytes = kDeletedReport;
    bytes[2 * kExfatEntrySize + kFileNameUnitsAt] ^= 1;  // one bit of the name
    auto sets = walk(bytes);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_FALSE(sets[0].checksumValid);
    // The set as written, before its InUse bits were cleared, checks alike.
    bytes = kDeletedReport;
    for (size_t i = 0; i < 3; ++i) bytes[i * kExfatEntrySize] |= kExfatInUse;
    sets = walk(bytes);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_FALSE(sets[0].deleted);
    EXPECT_TRUE(sets[0].checksumValid);
    // A live File entry whose secondaries are deleted is no set.
    bytes[2 * kExfatEntrySize] = 0x41;
    ExfatWalkSummary summary;
    EXPECT_TRUE(walk(bytes, kBounds, &summary).empty());
    EXPECT_EQ(summary.strays, 0u);
}

TEST_F(Exfat, CreationTimeTakesTheUtcOffsetAndTheTenMillisecondField) {
    const ExfatEntrySet report = walk(kDeletedReport)[0];
    // 2023-11-27 21:47:38 at UTC+8 is 13:47:38 UTC.
    const CreationTime created = exfatCreationTime(report.created);
    ASSERT_EQ(created.kind, CreationTime::Kind::FileTime);
    const uint64_t utc1347 = (uint64_t{1701092858} + 11644473600u) * 10000000u;
    EXPECT_EQ(created.value, utc1347);
    ExfatTimestamp t = report.created;
    t.tenMs = 199;  // 1.99 s after the even second
    EXPECT_EQ(exfatCreationTime(t).value, utc1347 + 19900000u);
    t.tenMs = 0;
    t.utcOffset = 0x80 | 0x7C;  // −4 units: UTC−1h
    EXPECT_EQ(exfatCreationTime(t).value, utc1347 + 9 * 3600 * uint64_t{10000000});
    int minutes = 0;
    EXPECT_TRUE(exfatUtcOffsetMinutes(0xC0, minutes));
    EXPECT_EQ(minutes, -16 * 60);
    EXPECT_TRUE(exfatUtcOffsetMinutes(0xBF, minutes));
    EXPECT_EQ(minutes, 15 * 60 + 45);
    // Without the valid bit the stamp is local time, kept as stored, with
    // its odd second.
    t.utcOffset = 0x20;
    t.tenMs = 101;
    const CreationTime local = exfatCreationTime(t);
    ASSERT_EQ(local.kind, CreationTime::Kind::FatLocal);
    EXPECT_EQ(local.fatDate(), 0x577B);
    EXPECT_EQ(local.fatTime(), 0xADF3);
    EXPECT_EQ(local.fatSecond(), 39);
    // A date that does not exist (February 30th) is not converted.
    t = {(44u << 25) | (2u << 21) | (30u << 16), 0, 0xA0};
    EXPECT_EQ(exfatCreationTime(t).kind, CreationTime::Kind::FatLocal);
    EXPECT_EQ(exfatCreationTime(ExfatTimestamp{}).kind, CreationTime::Kind::None);
}

TEST_F(Exfat, ANameOf255CharactersSpans17NameEntries) {
    std::string name(251, 'N');
    name += ".txt";
    const auto bytes = liveSet(name, 5, 1);
    ASSERT_EQ(bytes.size(), 19 * kExfatEntrySize);
    const auto sets = walk(bytes);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].entries, 19);
    EXPECT_EQ(sets[0].name, name);
    EXPECT_TRUE(sets[0].checksumValid);
}

TEST_F(Exfat, SetsThatDoNotFitAreSkippedEntryByEntry) {
    const auto good = liveSet("after.bin", 7, 100);
    // Its secondary count runs past the buffer: the File entry alone is
    // passed over, and nothing is read past the end.
    std::vector<uint8_t> cut = liveSet("cut short.bin", 6, 10);
    cut.resize(2 * kExfatEntrySize);
    EXPECT_TRUE(walk(cut).empty());
    // A count of 19, and a name longer than its entries: the walk goes on
    // after the File entry and finds the set behind it.
    std::vector<uint8_t> tooMany = liveSet("x", 6, 10);
    tooMany[kFileSecondaryCount] = 19;
    std::vector<uint8_t> nameTooLong = liveSet("y", 6, 10);
    nameTooLong[kExfatEntrySize + kStreamNameLength] = 16;
    const auto sets = walk(joined({tooMany, nameTooLong, good, {0, 0, 0}}));
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].name, "after.bin");
    // An end mark stops the walk.
    ExfatWalkSummary summary;
    EXPECT_TRUE(walk(joined({std::vector<uint8_t>(32, 0), good}), kBounds, &summary).empty());
    EXPECT_TRUE(summary.endSeen);
}

TEST_F(Exfat, ClustersOutsideTheVolumeMakeTheExtentInvalid) {
    const uint32_t limit = kBounds.clusterLimit;
    // The last cluster holds exactly one cluster's bytes in one run.
    EXPECT_TRUE(walk(liveSet("a", limit - 1, 4096))[0].extentValid);
    EXPECT_FALSE(walk(liveSet("a", limit - 1, 4097))[0].extentValid);
    EXPECT_FALSE(walk(liveSet("a", limit, 1))[0].extentValid);
    EXPECT_FALSE(walk(liveSet("a", 1, 1))[0].extentValid);
    // A chained file may lie anywhere, but not be longer than the volume.
    EXPECT_TRUE(walk(liveSet("a", limit - 1, 8192, kExfatAllocationPossible))[0].extentValid);
    EXPECT_FALSE(walk(liveSet("a", 2, uint64_t{limit - 1} * 4096, kExfatAllocationPossible))[0]
                     .extentValid);
    EXPECT_FALSE(walk(liveSet("a", 2, UINT64_MAX, kExfatAllocationPossible))[0].extentValid);
    EXPECT_FALSE(walk(liveSet("a", 5, 10, 0))[0].extentValid) << "data without allocation";
    EXPECT_TRUE(walk(liveSet("a", 0, 0, 0))[0].extentValid) << "an empty file";
    auto dir = liveSet("d", 5, 4096);
    dir[kFileAttributes] = kExfatAttrDirectory;
    put16(dir.data() + kFileSetChecksum, exfatSetChecksum(dir.data(), 3));
    EXPECT_TRUE(isWalkableExfatDirectory(walk(dir)[0]));
    put64(dir.data() + kExfatEntrySize + kStreamValidDataLength, 4097);
    put16(dir.data() + kFileSetChecksum, exfatSetChecksum(dir.data(), 3));
    EXPECT_FALSE(isWalkableExfatDirectory(walk(dir)[0])) << "valid length beyond the length";
}

TEST_F(Exfat, TheRootsOwnEntriesLocateTheBitmapAndTheLabel) {
    // As mkfs.exfat writes them: label, bitmap, up-case table (passed over).
    std::vector<uint8_t> root(3 * kExfatEntrySize, 0);
    root[0] = kExfatVolumeLabel;
    root[kLabelCharacterCount] = 4;
    const char16_t label[] = u"卡片01";
    for (size_t i = 0; i < 4; ++i) put16(root.data() + kLabelUnitsAt + 2 * i, label[i]);
    uint8_t* bitmap = root.data() + kExfatEntrySize;
    bitmap[0] = kExfatAllocationBitmap;
    put32(bitmap + kRootEntryFirstCluster, 2);
    put64(bitmap + kRootEntryDataLength, 1984);
    uint8_t* upcase = root.data() + 2 * kExfatEntrySize;
    upcase[0] = kExfatUpcaseTable;
    put32(upcase + kUpcaseTableChecksum, 0xE619D30D);
    put32(upcase + kRootEntryFirstCluster, 3);
    put64(upcase + kRootEntryDataLength, 5836);
    const auto bytes = joined({root, kDeletedReport});
    ExfatRootEntries found;
    size_t sets = 0;
    const auto summary = walkExfatDirectory(bytes.data(), bytes.size(), kBounds,
                                            [&](const ExfatEntrySet&) { ++sets; }, &found);
    EXPECT_EQ(sets, 1u);
    EXPECT_EQ(summary.strays, 0u);
    EXPECT_TRUE(found.bitmap.found);
    EXPECT_EQ(found.bitmap.firstCluster, 2u);
    EXPECT_EQ(found.bitmap.dataLength, 1984u);
    EXPECT_FALSE(found.secondBitmap.found);
    EXPECT_EQ(found.label, "卡片01");
}

// A boot sector as mkfs.exfat writes it for a 64 MiB volume.
std::vector<uint8_t> bootSector(uint8_t sectorShift = 9) {
    std::vector<uint8_t> s(512, 0);
    s[0] = 0xEB, s[1] = 0x76, s[2] = 0x90;
    std::memcpy(s.data() + kExfatFileSystemName, "EXFAT   ", 8);
    put64(s.data() + kExfatVolumeLength, 131072);
    put32(s.data() + kExfatFatOffset, 2048);
    put32(s.data() + kExfatFatLength, 128);
    put32(s.data() + kExfatClusterHeapOffset, 4096);
    put32(s.data() + kExfatClusterCount, 15872);
    put32(s.data() + kExfatFirstClusterOfRootDirectory, 5);
    put16(s.data() + kExfatFileSystemRevision, 0x0100);
    s[kExfatBytesPerSectorShift] = sectorShift;
    s[kExfatSectorsPerClusterShift] = static_cast<uint8_t>(12 - sectorShift);
    s[kExfatNumberOfFats] = 1;
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

TEST(ExfatBoot, GeometryComesFromTheShiftsAndIsCheckedAcrossFields) {
    ExfatBootSector boot;
    auto s = bootSector();
    ASSERT_EQ(decodeExfatBootSector(s.data(), s.size(), boot), ExfatBootCheck::Ok);
    EXPECT_EQ(boot.sectorBytes(), 512u);
    EXPECT_EQ(boot.clusterBytes(), 4096u);
    EXPECT_EQ(boot.clusterLimit(), 15874u);
    EXPECT_EQ(boot.clusterSector(5), 4096u + 3 * 8);
    EXPECT_EQ(boot.activeFatSector(), 2048u);
    // 4096-byte sectors (mkfs.exfat on such a device writes shift 12; the
    // signature stays at 510).
    s = bootSector(12);
    put64(s.data() + kExfatVolumeLength, 16384);
    put32(s.data() + kExfatFatOffset, 256);
    put32(s.data() + kExfatFatLength, 16);
    put32(s.data() + kExfatClusterHeapOffset, 512);
    ASSERT_EQ(decodeExfatBootSector(s.data(), s.size(), boot), ExfatBootCheck::Ok);
    EXPECT_EQ(boot.sectorBytes(), 4096u);
    EXPECT_EQ(boot.clusterSector(3), 513u);

    const auto broken = [](void (*change)(std::vector<uint8_t>&)) {
        auto bytes = bootSector();
        change(bytes);
        ExfatBootSector ignored;
        return decodeExfatBootSector(bytes.data(), bytes.size(), ignored);
    };
    EXPECT_EQ(broken([](auto& b) { b[kExfatFileSystemName + 7] = 0; }), ExfatBootCheck::NotExfat);
    EXPECT_EQ(broken([](auto& b) { b[13] = 8; }), ExfatBootCheck::NotZeroed);  // a FAT BPB
    EXPECT_EQ(broken([](auto& b) { b[kExfatBytesPerSectorShift] = 13; }), ExfatBootCheck::SectorSize);
    EXPECT_EQ(broken([](auto& b) { b[kExfatSectorsPerClusterShift] = 17; }),
              ExfatBootCheck::ClusterSize);
    EXPECT_EQ(broken([](auto& b) { b[kExfatVolumeFlags] = 1; }), ExfatBootCheck::FatCount);
    // The FAT overlaps the cluster heap; too short for the clusters; more
    // clusters than the volume holds after the heap; root past the last one.
    EXPECT_EQ(broken([](auto& b) { put32(b.data() + kExfatFatLength, 2049); }),
              ExfatBootCheck::FatOffset);
    EXPECT_EQ(broken([](auto& b) { put32(b.data() + kExfatFatLength, 124); }),
              ExfatBootCheck::FatLength);
    EXPECT_EQ(broken([](auto& b) { put32(b.data() + kExfatClusterCount, 15873); }),
              ExfatBootCheck::ClusterCount);
    EXPECT_EQ(broken([](auto& b) { put32(b.data() + kExfatFirstClusterOfRootDirectory, 15874); }),
              ExfatBootCheck::RootCluster);
    EXPECT_EQ(broken([](auto& b) { put64(b.data() + kExfatVolumeLength, UINT64_MAX); }),
              ExfatBootCheck::Ok);
    EXPECT_EQ(broken([](auto& b) { put32(b.data() + kExfatClusterHeapOffset, UINT32_MAX); }),
              ExfatBootCheck::ClusterHeapOffset);
}

TEST(ExfatBoot, TheRegionChecksumLeavesOutFlagsAndPercentInUse) {
    std::vector<uint8_t> region(12 * 512, 0);
    const auto boot = bootSector();
    std::copy(boot.begin(), boot.end(), region.begin());
    for (size_t i = 512; i < 11 * 512; ++i) region[i] = static_cast<uint8_t>(i * 7);
    // The sum as an independent implementation gives it (checked on a real
    // volume's boot region), repeated through the twelfth sector.
    const uint32_t sum = 0x4BBD7828;
    for (size_t at = 11 * 512; at < 12 * 512; at += 4) put32(region.data() + at, sum);
    EXPECT_TRUE(exfatBootChecksumMatches(region.data(), region.size(), 512));
    region[kExfatVolumeFlags] = 2;  // dirty
    region[kExfatPercentInUse] = 40;
    EXPECT_TRUE(exfatBootChecksumMatches(region.data(), region.size(), 512));
    region[3 * 512 + 9] ^= 1;
    EXPECT_FALSE(exfatBootChecksumMatches(region.data(), region.size(), 512));
    EXPECT_FALSE(exfatBootChecksumMatches(region.data(), region.size() - 1, 512));
}

}  // namespace
