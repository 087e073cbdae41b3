// Folders and states of listed files, on hand-built tables.
#include <gtest/gtest.h>

#include <map>

#include "common/Text.h"
#include "ntfs/NtfsFolders.h"
#include "ntfs/NtfsScanner.h"
#include "NtfsTestRecords.h"

using namespace undelete;
using undelete::test::MemoryDisk;
using undelete::test::MessageCapture;
using undelete::test::RecordBuilder;
using undelete::test::reference;
using undelete::test::TestVolume;

namespace {

constexpr uint64_t kCluster = TestVolume::kCluster;
constexpr uint16_t kInUse = 1, kDirectory = 2;

class NtfsPaths : public ::testing::Test {
protected:
    NtfsPaths() : disk_(2 << 20), volume_(disk_) {
        initProcessLocale();
        volume_.putTable(16);  // 64 records
    }

    void folder(uint64_t index, uint16_t flags, uint16_t sequence, const std::u16string& name,
                uint64_t parent) {
        volume_.putTableRecord(
            index, RecordBuilder(flags).sequence(sequence).fileName(name, 1, 0, parent).build());
    }
    void file(uint64_t index, uint64_t parent, const std::vector<uint8_t>& runs = {},
              uint64_t bytes = 0) {
        RecordBuilder r;
        r.fileName(u"f" + std::u16string(1, static_cast<char16_t>(u'0' + index % 10)), 1, 0,
                   parent);
        if (!runs.empty()) r.data(runs, bytes, bytes);
        volume_.putTableRecord(index, r.build());
    }

    // Every listed index with its folder (or its state).
    std::map<uint32_t, DeletedFile> scan() {
        NtfsScanner scanner(test::scanContext(disk_, messages_));
        EXPECT_TRUE(scanner.open(&volume_.partition));
        std::map<uint32_t, DeletedFile> listed;
        DeletedFile f;
        for (uint32_t i = 0; scanner.hasItem(i); ++i) {
            if (scanner.describe(i, f)) listed[i] = f;
        }
        return listed;
    }

    MemoryDisk disk_;
    TestVolume volume_;
    MessageCapture messages_;
};

TEST_F(NtfsPaths, FoldersAreWalkedToTheRootAndBrokenLinksEndInOrphan) {
    folder(5, kInUse | kDirectory, 5, u".", reference(5, 5));
    folder(30, kInUse | kDirectory, 2, u"Docs", reference(5, 5));
    // Deleted with its files: freeing moved its sequence number on by one.
    folder(31, kDirectory, 3, u"照片", reference(30, 2));
    // Deleted, then taken again by a file: not the folder its files named.
    folder(32, kInUse, 7, u"reused", reference(5, 5));
    // Two folders naming each other.
    folder(33, kDirectory, 1, u"a", reference(34, 1));
    folder(34, kDirectory, 1, u"b", reference(33, 1));
    folder(35, kDirectory, 9, u"gone", reference(30, 2));  // two frees ahead
    file(40, reference(31, 2));
    file(41, reference(32, 6));
    file(42, reference(5, 5));
    file(43, reference(33, 1));
    file(44, reference(1000, 1));  // past the table: unreadable
    file(45, reference(35, 7));
    file(46, reference(31, 2));
    auto listed = scan();
    ASSERT_EQ(listed.size(), 7u);
    EXPECT_EQ(listed[40].path, "/Docs/照片/");
    EXPECT_EQ(listed[46].path, "/Docs/照片/");
    EXPECT_EQ(listed[41].path, "/$Orphan/");
    EXPECT_EQ(listed[42].path, "/");
    EXPECT_EQ(listed[43].path, "/$Orphan/b/a/");  // the loop is cut where it closes
    EXPECT_EQ(listed[44].path, "/$Orphan/");
    EXPECT_EQ(listed[45].path, "/$Orphan/");
}

TEST(FolderPathsMemory, EachFolderIsLookedUpOnce) {
    std::map<uint64_t, int> lookups;
    NtfsFolders paths([&](uint64_t number, MftRecordInfo& info) {
        ++lookups[number];
        info.flags = kInUse | kDirectory;
        info.sequenceNumber = 1;
        info.parentReference = number == 10 ? reference(5, 5) : reference(number - 1, 1);
        const std::u16string name = u"d" + std::u16string(1, static_cast<char16_t>(u'0' + number % 10));
        for (size_t i = 0; i < name.size(); ++i)
            put16(&info.fileName[kFileNameNameOffset + 2 * i], name[i]);
        return true;
    });
    EXPECT_EQ(paths.folderOf(reference(12, 1)), "/d0/d1/d2/");
    EXPECT_EQ(paths.folderOf(reference(13, 1)), "/d0/d1/d2/d3/");
    EXPECT_EQ(paths.folderOf(reference(11, 1)), "/d0/d1/");
    for (const auto& [number, count] : lookups) EXPECT_EQ(count, 1) << number;
    EXPECT_EQ(lookups.size(), 4u);
}

TEST_F(NtfsPaths, StatesComeFromTheVolumesBitmap) {
    file(40, reference(5, 5), {0x11, 0x02, 100}, 2 * kCluster);
    file(41, reference(5, 5), {0x21, 0x04, 200, 0x00}, 4 * kCluster);
    volume_.putTableRecord(42, RecordBuilder().fileName(u"small", 1).data({1, 2, 3}).build());
    EXPECT_EQ(scan()[40].state, FileState::Unknown);  // no bitmap yet
    EXPECT_EQ(scan()[42].state, FileState::Intact);   // resident: in its own record

    // Record 6: the bitmap in cluster 50, clusters 0–63 and 203 in use.
    volume_.putTableRecord(6, RecordBuilder(kInUse)
                                  .fileName(u"$Bitmap", 3)
                                  .data({0x11, 0x01, 50}, kCluster, 64)
                                  .build());
    uint8_t* bits = disk_.at(volume_.clusterOffset(50));
    std::fill(bits, bits + 8, 0xFF);
    bits[203 / 8] |= 1 << (203 % 8);
    auto listed = scan();
    EXPECT_EQ(listed[40].state, FileState::Intact);
    EXPECT_EQ(listed[41].state, FileState::Partial);
    EXPECT_EQ(listed[42].state, FileState::Intact);
}

}  // namespace
