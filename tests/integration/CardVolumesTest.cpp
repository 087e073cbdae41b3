// The volumes of cards and sticks (FAT16, FAT12, exFAT), each made by
// Debian's tools and written through mtools or the exfat-fuse driver, read
// through the batch face: what the image builder expects is listed with its
// folder, time, size and state and saved byte for byte, and every deleted
// file The Sleuth Kit lists is listed in the same folder and saved as its
// `icat -r` gives it.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

// One deleted file an image builder expects.
struct Expected {
    std::string folder, name, bytes, created, state, original;  // original: "-" when none
};

// One listed row of `--scan`: row index name time size bytes created path state origin.
struct Listed {
    std::string index, bytes, created, state;
};

std::map<std::string, Listed> listing(const std::string& image, const std::string& row) {
    const auto result = harness::undelete("--scan " + row + " " + quote(image) + " 2>/dev/null");
    EXPECT_EQ(result.status, 0) << image << " row " << row;
    std::map<std::string, Listed> listed;
    const auto rows = harness::table(result.out);
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto& r = rows[i];
        if (r.size() != 11) continue;
        EXPECT_EQ(listed.count(r[7] + r[2]), 0u) << "listed twice: " << r[7] << r[2];
        listed[r[7] + r[2]] = {r[1], r[5], r[6], r[8]};
    }
    return listed;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "/" : "/" + path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The checks on one volume: row `row` of `image`, which The Sleuth Kit
// reads at `offset` ("" for a bare volume, else "-o SECTOR"); originals
// are relative to `base`.
void checkVolume(const std::string& image, const std::string& row, const std::string& offset,
                 const std::vector<Expected>& expected, const std::string& base) {
    SCOPED_TRACE(image + " row " + row);
    ASSERT_FALSE(expected.empty());
    const auto listed = listing(image, row);
    std::set<std::string> wanted;
    for (const Expected& e : expected) {
        const std::string key = e.folder + e.name;
        wanted.insert(key);
        const auto found = listed.find(key);
        ASSERT_NE(found, listed.end()) << key << " not listed";
        EXPECT_EQ(found->second.bytes, e.bytes) << key;
        EXPECT_EQ(found->second.created, e.created) << key;
        EXPECT_EQ(found->second.state, e.state) << key;
    }
    // Nothing else: no live file, no deleted folder itself.
    for (const auto& l : listed) EXPECT_EQ(wanted.count(l.first), 1u) << l.first << " listed";

    harness::TempDir out;
    const auto saved = harness::undelete("--scan " + row + " --save-all --output " +
                                         quote(out.path()) + " " + quote(image) + " 2>&1");
    EXPECT_EQ(saved.status, 0) << saved.out;
    int originals = 0;
    for (const Expected& e : expected) {
        if (e.original == "-") continue;
        EXPECT_TRUE(harness::readFile(out.path() + e.folder + e.name) ==
                    harness::readFile(base + "/" + e.original))
            << e.folder << e.name << " differs from its original";
        ++originals;
    }

    if (!harness::haveTool("fls") || !harness::haveTool("icat")) return;
    const auto peer = harness::run("fls -rdp " + offset + " " + quote(image) + " 2>/dev/null");
    ASSERT_EQ(peer.status, 0);
    int files = 0, same = 0;
    for (const std::string& line : harness::split(peer.out, '\n')) {
        if (line.rfind("r/r * ", 0) != 0) continue;  // deleted files only
        const size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string inode = line.substr(6, line.find(':') - 6);
        const std::string path = line.substr(tab + 1);
        std::string key = folderOf(path) + nameOf(path);
        // The peer shows a lost first character as '_', this program as '#'.
        if (listed.count(key) == 0) key = folderOf(path) + "#" + nameOf(path).substr(1);
        ++files;
        if (listed.count(key) == 0) {
            ADD_FAILURE() << "the peer lists " << path;
            continue;
        }
        const auto peerBytes = harness::run("icat -r " + offset + " " + quote(image) + " " +
                                            inode + " 2>/dev/null");
        const bool equal = harness::readFile(out.path() + key) == peerBytes.out;
        EXPECT_TRUE(equal) << key << " differs from icat -r " << inode;
        same += equal ? 1 : 0;
    }
    std::printf("%s row %s: fls -rd %d deleted files, listed %zu (expected %zu), "
                "icat -r = saved %d/%d, originals %d\n",
                nameOf(image).c_str(), row.c_str(), files, listed.size(), expected.size(), same,
                files, originals);
    EXPECT_GT(files, 0);
}

// The rows of fat-files.sh's manifests for one row: row, path, listed name,
// bytes, created, state, original.
std::vector<Expected> fatExpected(const std::string& manifest, const std::string& row) {
    std::vector<Expected> expected;
    for (const auto& f : harness::table(harness::readFile(manifest))) {
        if (f.size() == 7 && f[0] == row) expected.push_back({folderOf(f[1]), f[2], f[3], f[4], f[5], f[6]});
    }
    return expected;
}

// FAT16 (types 0x06 and 0x0E, clusters of 2 KiB and 512 bytes) and FAT12
// (type 0x01, and a bare 1440 KiB floppy).
TEST(CardVolumes, Fat16AndFat12ListAndSaveWhatThePeerFinds) {
    const auto fat16 = harness::makeFixtureImage("make-fat16-image.sh");
    const auto fat12 = harness::makeFixtureImage("make-fat12-image.sh");
    for (const auto* built : {&fat16, &fat12}) {
        if (!built->skipReason.empty()) GTEST_SKIP() << built->skipReason;
        ASSERT_TRUE(built->failure.empty()) << built->failure;
    }
    const std::string dir16 = fat16.dir->path(), dir12 = fat12.dir->path();
    const auto partitions = harness::table(harness::undelete("--partitions " + quote(fat16.image())).out);
    ASSERT_EQ(partitions.size(), 3u);
    EXPECT_EQ(partitions[1][1], "FAT16");
    EXPECT_EQ(partitions[2][1], "FAT16");
    EXPECT_EQ(harness::table(harness::undelete("--partitions " + quote(fat12.image())).out)[1][1],
              "FAT12");
    EXPECT_EQ(harness::table(harness::undelete("--partitions " + quote(dir12 + "/floppy.img")).out)[1][1],
              "FAT12");

    checkVolume(fat16.image(), "0", "-o 2048", fatExpected(dir16 + "/manifest.tsv", "0"), dir16);
    checkVolume(fat16.image(), "1", "-o 67584", fatExpected(dir16 + "/manifest.tsv", "1"), dir16);
    checkVolume(fat12.image(), "0", "-o 2048", fatExpected(dir12 + "/manifest.tsv", "0"), dir12);
    checkVolume(dir12 + "/floppy.img", "0", "", fatExpected(dir12 + "/floppy-manifest.tsv", "0"),
                dir12);
}

// A partition of Linux's type (0x83) formatted FAT32: named, listed and
// saved by what its boot sector holds, in the list of every face.
TEST(CardVolumes, LinuxTypePartitionIsScannedByItsBootSector) {
    const auto built = harness::makeFixtureImage("make-linux-type-image.sh");
    if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
    ASSERT_TRUE(built.failure.empty()) << built.failure;
    const auto partitions = harness::table(harness::undelete("--partitions " + quote(built.image())).out);
    ASSERT_EQ(partitions.size(), 2u);
    EXPECT_EQ(partitions[1][1], "FAT32");
    EXPECT_EQ(partitions[1][2], "83");
    const auto json = harness::undelete("--partitions --json " + quote(built.image())).out;
    EXPECT_EQ(json.rfind("{\"row\":0,\"filesystem\":\"FAT32\",\"type\":\"83\",", 0), 0u) << json;
    const std::string dir = built.dir->path();
    checkVolume(built.image(), "0", "-o 2048", fatExpected(dir + "/manifest.tsv", "0"), dir);
}

// exFAT (type 0x07) written and deleted through the exfat-fuse driver:
// times with the UTC offset, a name of 255 characters, a file whose chain
// the driver cleared, a folder deleted whole.
TEST(CardVolumes, ExfatListsAndSavesWhatThePeerFinds) {
    const auto exfat = harness::makeFixtureImage("make-exfat-image.sh");
    if (!exfat.skipReason.empty()) GTEST_SKIP() << exfat.skipReason;
    ASSERT_TRUE(exfat.failure.empty()) << exfat.failure;
    const auto partitions = harness::table(harness::undelete("--partitions " + quote(exfat.image())).out);
    ASSERT_EQ(partitions.size(), 2u);
    EXPECT_EQ(partitions[1][1], "exFAT");
    std::vector<Expected> expected;
    for (const auto& f : exfat.manifest) {
        if (f.size() == 5) expected.push_back({folderOf(f[0]), nameOf(f[0]), f[1], f[2], f[3], f[4]});
    }
    checkVolume(exfat.image(), "0", "-o 2048", expected, exfat.dir->path());
}

}  // namespace
