// The deeper scan's search for records outside the live table, on
// hand-built records: what a found record must agree with, and how found
// records become files (folders rebuilt, loops cut, extension records
// joined, the table's own files not listed twice).
#include <gtest/gtest.h>

#include <map>

#include "common/Text.h"
#include "ntfs/NtfsScanner.h"
#include "ntfs/RecordSearch.h"
#include "NtfsTestRecords.h"

using namespace undelete;
using undelete::test::MemoryDisk;
using undelete::test::MessageCapture;
using undelete::test::Record;
using undelete::test::RecordBuilder;
using undelete::test::reference;
using undelete::test::TestVolume;

namespace {

constexpr uint32_t kCluster = TestVolume::kCluster;
constexpr uint16_t kInUse = 1, kDirectory = 2;

// A record as a table writes it: its size and its own number stored.
RecordBuilder numbered(uint32_t number, uint16_t flags, uint16_t sequence = 1) {
    RecordBuilder r(flags);
    r.sequence(sequence);
    put32(r.at(28), 1024);
    put32(r.at(44), number);
    return r;
}

TEST(FoundRecord, ItsNumberMustAgreeWithItsPlace) {
    const Record r = numbered(70, kInUse).fileName(u"a.txt", 1).data({1, 2, 3}).build();
    MftRecordInfo info;
    // Record 70 lies 70 records past the start of a cluster: 2 KiB into one.
    EXPECT_TRUE(acceptFoundRecord(r.data(), 1024, 70 * 1024, kCluster, info));
    EXPECT_EQ(info.recordNumber, 70u);
    EXPECT_TRUE(acceptFoundRecord(r.data(), 1024, 100 * kCluster + 2048, kCluster, info));
    EXPECT_FALSE(acceptFoundRecord(r.data(), 1024, 71 * 1024, kCluster, info));
    EXPECT_FALSE(acceptFoundRecord(r.data(), 1024, 100 * kCluster, kCluster, info));
    // Larger clusters now: an older table with 4 KiB clusters still agrees.
    EXPECT_TRUE(acceptFoundRecord(r.data(), 1024, 101 * kCluster + 2048, 65536, info));
    EXPECT_FALSE(acceptFoundRecord(r.data(), 1024, 71 * 1024, 65536, info));
    // Clusters no larger than a record: every record-aligned place agrees.
    EXPECT_TRUE(acceptFoundRecord(r.data(), 1024, 71 * 1024, 1024, info));
    // A record that says another size, or whose fixups do not hold.
    Record other = r;
    put32(&other[28], 4096);
    EXPECT_FALSE(acceptFoundRecord(other.data(), 1024, 70 * 1024, kCluster, info));
    other = r;
    other[510] ^= 1;
    EXPECT_FALSE(acceptFoundRecord(other.data(), 1024, 70 * 1024, kCluster, info));
}

class NtfsSearch : public ::testing::Test {
protected:
    // An old table started at cluster 96; the live one at cluster 4 holds
    // 32 records in 8 clusters and owns 12, the last 4 unused. Clusters
    // 0–63 are in use.
    static constexpr uint64_t kOldTable = 96;

    NtfsSearch() : disk_(2 << 20), volume_(disk_) {
        initProcessLocale();
        volume_.putTableRecord(0, RecordBuilder(kInUse)
                                      .fileName(u"$MFT", 3)
                                      .nonResident(0x80, {0x11, 12, TestVolume::kMftCluster},
                                                   12 * kCluster, 8 * kCluster, 8 * kCluster)
                                      .build());
        volume_.putTableRecord(5, RecordBuilder(kInUse | kDirectory, 5)
                                      .sequence(5)
                                      .fileName(u".", 3, 0, reference(5, 5))
                                      .build());
        volume_.putTableRecord(6, RecordBuilder(kInUse)
                                      .fileName(u"$Bitmap", 3)
                                      .data({0x11, 0x01, 50}, kCluster, 64)
                                      .build());
        std::fill(disk_.at(volume_.clusterOffset(50)), disk_.at(volume_.clusterOffset(50)) + 8, 0xFF);
    }

    void old(uint32_t number, const Record& r) {
        volume_.putRecord(volume_.clusterOffset(kOldTable) + number * 1024, r);
    }

    // Name → file, for a plain or a deeper scan.
    std::multimap<std::string, DeletedFile> scan(bool deep) {
        ScanContext context = test::scanContext(disk_, messages_);
        context.deepScan = deep;
        NtfsScanner scanner(context);
        EXPECT_TRUE(scanner.open(&volume_.partition));
        std::multimap<std::string, DeletedFile> listed;
        DeletedFile f;
        for (uint32_t i = 0; scanner.hasItem(i); ++i) {
            if (scanner.describe(i, f)) listed.emplace(f.name, f);
        }
        return listed;
    }

    MemoryDisk disk_;
    TestVolume volume_;
    MessageCapture messages_;
};

TEST_F(NtfsSearch, FoundRecordsBecomeFilesUnderTheirRebuiltFolders) {
    old(40, numbered(40, kInUse | kDirectory).fileName(u"Docs", 1, 0, reference(5, 5)).build());
    old(41, numbered(41, kInUse).fileName(u"a.txt", 1, 0, reference(40, 1)).data({'h', 'i'}).build());
    // Two folders naming each other, and a file in one of them.
    old(42, numbered(42, kDirectory).fileName(u"x", 1, 0, reference(43, 1)).build());
    old(43, numbered(43, kDirectory).fileName(u"y", 1, 0, reference(42, 1)).build());
    old(44, numbered(44, 0).fileName(u"loop.txt", 1, 0, reference(42, 1)).build());
    // Says it is record 45 where record 46 lies: not a record of this table.
    old(46, numbered(45, kInUse).fileName(u"moved.txt", 1, 0, reference(5, 5)).build());
    // A base record whose name and content lie in its extension record.
    std::vector<uint8_t> list = test::listEntry(0x30, 0, reference(48, 1));
    const std::vector<uint8_t> data = test::listEntry(0x80, 0, reference(48, 1));
    list.insert(list.end(), data.begin(), data.end());
    old(47, numbered(47, kInUse).resident(0x20, list).build());
    old(48, numbered(48, kInUse)
                .base(reference(47, 1))
                .fileName(u"joined.txt", 1, 0, reference(40, 1))
                .data({'x', 'y', 'z'})
                .build());
    // A deleted file of the live table, and a copy of it elsewhere.
    const Record dup = numbered(20, 0, 3).fileName(u"dup.txt", 1, 0, reference(5, 5)).build();
    volume_.putTableRecord(20, dup);
    old(20, dup);
    // In the live table's own unused records (in use per the bitmap).
    volume_.putTableRecord(33, numbered(33, 0).fileName(u"tail.txt", 1, 0, reference(5, 5)).build());

    const auto plain = scan(false);
    EXPECT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain.count("dup.txt"), 1u);

    const auto deep = scan(true);
    EXPECT_EQ(deep.size(), 5u);
    EXPECT_EQ(deep.count("dup.txt"), 1u);
    EXPECT_EQ(deep.count("moved.txt"), 0u);
    const auto path = [&](const std::string& name) {
        const auto it = deep.find(name);
        return it == deep.end() ? std::string("(none)") : it->second.path;
    };
    EXPECT_EQ(path("a.txt"), "/Docs/");
    EXPECT_EQ(path("joined.txt"), "/Docs/");
    EXPECT_EQ(path("loop.txt"), "/$Orphan/y/x/");  // the loop is cut where it closes
    EXPECT_EQ(path("tail.txt"), "/");
    EXPECT_EQ(deep.find("joined.txt")->second.size, 3u);
    for (const auto& [name, file] : deep) {
        EXPECT_EQ(file.origin, name == "dup.txt" ? FileOrigin::Table : FileOrigin::Search) << name;
    }
}

}  // namespace
