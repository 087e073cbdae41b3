#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/Text.h"
#include "fat/OrphanEntries.h"
#include "unit/Fat32TestImage.h"

using namespace undelete;
using namespace undelete::test;

namespace {

constexpr size_t kCluster = 512;
constexpr uint32_t kLimit = 130000;

std::vector<uint8_t> cluster(const Directory& dir) {
    std::vector<uint8_t> bytes = dir.bytes;
    bytes.resize(kCluster, 0);
    return bytes;
}

bool looks(const std::vector<uint8_t>& bytes) {
    return looksLikeDirectoryCluster(bytes.data(), bytes.size(), kLimit);
}

// A deleted folder's later cluster: a deleted long-named file, a live one,
// a deleted 8.3 file and a deleted subfolder; written times and dates.
Directory orphanDirectory() {
    Directory dir;
    dir.add(deletedNamedFile(u"Holiday photo 01.jpg", "HOLIDA~1JPG", 300, 5000))
        .add(liveNamedEntry(u"Notes.txt", "NOTES   TXT", 0x20, 400, 10))
        .add(deletedFile("XEADME  TXT", 500, 20))
        .add(deletedNamedFile(u"Old stuff", "OLDSTU~1   ", 600, 0, 0x10));
    Entry dated = shortEntry("LATER   BIN", 0x20, 700, 30, 0x5A21, 0x6B4F);
    put16(dated.data() + 22, 0x6B4F);  // 13:26:30
    put16(dated.data() + 24, 0x5A21);  // 2025-01-01
    dated[0] = 0xE5;
    dir.add(dated);
    return dir;
}

TEST(FatOrphan, ADirectoryClusterGivesItsDeletedEntries) {
    ASSERT_TRUE(initProcessLocale());
    const std::vector<uint8_t> bytes = cluster(orphanDirectory());
    const OrphanCluster found = readOrphanCluster(bytes.data(), bytes.size(), kLimit, 9);
    ASSERT_TRUE(found.directory);
    ASSERT_EQ(found.files.size(), 3u);
    EXPECT_EQ(found.files[0].name, "Holiday photo 01.jpg");
    EXPECT_EQ(found.files[0].firstCluster(), 300u);
    EXPECT_EQ(found.files[0].folder, 9u);
    EXPECT_EQ(found.files[1].name, "#EADME.TXT");
    EXPECT_EQ(found.files[2].firstCluster(), 700u);
    ASSERT_EQ(found.subdirectories.size(), 1u);
    EXPECT_EQ(found.subdirectories[0].name, "Old stuff");
    EXPECT_TRUE(found.subdirectories[0].deleted);

    // A cluster that starts inside a live name (its pieces 2 and 1) and a
    // folder's first cluster with its dot entries are directories too.
    std::vector<Entry> named = liveNamedEntry(u"A name of twenty-six chars and more",
                                              "ANAMEO~1TXT", 0x20, 800, 1);
    named.erase(named.begin());
    Directory continued;
    continued.add(named).add(deletedFile("XEADME  TXT", 500, 20));
    EXPECT_TRUE(looks(cluster(continued)));
    Directory first;
    first.add(dotEntries(40, 0)).add(deletedFile("XEADME  TXT", 500, 20));
    EXPECT_TRUE(looks(cluster(first)));
}

// Each entry written otherwise than a file system writes it refuses the
// whole cluster.
TEST(FatOrphan, OneUnwrittenEntryRefusesTheCluster) {
    const auto spoilt = [](auto change) {
        std::vector<uint8_t> bytes = cluster(orphanDirectory());
        change(bytes);
        return looks(bytes);
    };
    ASSERT_TRUE(spoilt([](std::vector<uint8_t>&) {}));
    // Entries 0-2 the deleted long name, 3-4 the live one (one piece, then
    // its short entry), 5 the 8.3 one, 6-7 the subfolder, 8 the dated one.
    const size_t live = 3 * 32;
    const size_t dated = 8 * 32;
    EXPECT_FALSE(spoilt([](auto& b) { b[kCluster - 1] = 1; }));  // a byte after the end mark
    EXPECT_FALSE(spoilt([&](auto& b) { put16(b.data() + live + 32 + 20, 2); }));  // cluster
    EXPECT_FALSE(spoilt([&](auto& b) { b[live] = 0x42; }));       // numbered 2 with no piece 1
    EXPECT_FALSE(spoilt([&](auto& b) { b[live + 13] ^= 1; }));    // a checksum of another name
    EXPECT_FALSE(spoilt([&](auto& b) { put16(b.data() + live + 1, 0x0007); }));  // control unit
    EXPECT_FALSE(spoilt([&](auto& b) { put16(b.data() + live + 30, 0x0041); }));  // past the end
    EXPECT_FALSE(spoilt([&](auto& b) { put16(b.data() + dated + 24, 0x5A01 | 13 << 5); }));
    EXPECT_FALSE(spoilt([&](auto& b) { put16(b.data() + dated + 22, 24 << 11); }));  // 24:00
    EXPECT_FALSE(spoilt([&](auto& b) { b[dated + 11] = 0x28; }));  // a volume label
    EXPECT_FALSE(spoilt([&](auto& b) { b[dated] = '.'; }));         // a dot entry past the second

    // A live name's pieces numbered 3, 1, 1.
    Directory skipped;
    skipped.add(liveNamedEntry(u"A name of twenty-six chars and more", "ANAMEO~1TXT", 0x20, 8, 1));
    EXPECT_TRUE(looks(cluster(skipped)));
    skipped.bytes[32] = 1;
    EXPECT_FALSE(looks(cluster(skipped)));
}

// File data taken from free clusters: zeros, text, random bytes, and a
// file's last cluster (a few bytes of data, then zeros).
TEST(FatOrphan, FileDataIsNotTakenForEntries) {
    EXPECT_FALSE(looks(std::vector<uint8_t>(kCluster, 0)));
    std::string text;
    for (int i = 0; text.size() < kCluster; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "f%d %08d %010u\n", i % 7, i, i * 2654435761u);
        text += line;
    }
    EXPECT_FALSE(looks(std::vector<uint8_t>(text.begin(), text.begin() + kCluster)));
    std::mt19937 random(20);
    int taken = 0;
    for (int n = 0; n < 20000; ++n) {
        std::vector<uint8_t> bytes(kCluster, 0);
        const size_t used = n % 2 == 0 ? kCluster : 32 + n % 64;
        for (size_t i = 0; i < used; ++i) bytes[i] = static_cast<uint8_t>(random());
        taken += looks(bytes);
    }
    EXPECT_EQ(taken, 0);
}

}  // namespace
