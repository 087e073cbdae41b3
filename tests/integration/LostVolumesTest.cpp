// The search for volumes a table no longer names, through the batch face,
// on a disk made by sfdisk, mkfs.fat, mtools, mkntfs, ntfscp and mkfs.exfat
// (FAT32, NTFS, FAT16 and exFAT volumes), whose table is then wiped with dd
// or loses an entry to sfdisk --delete.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

const std::string kEnglish = "LANGUAGE= LC_ALL=C.UTF-8 ";

// Where each volume lies, as the intact table says (start, sectors).
struct Volume {
    std::string fileSystem, start, sectors;
};
const std::vector<Volume> kVolumes = {{"FAT32", "2048", "131072"},
                                      {"NTFS", "133120", "65536"},
                                      {"FAT16", "200704", "65536"},
                                      {"exFAT", "268288", "32768"}};

class LostVolumes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        built = harness::makeFixtureImage("make-lost-volumes-image.sh");
        if (!built.failure.empty() || !built.skipReason.empty()) return;
        // What each volume lists while its table is whole.
        for (size_t row = 0; row < kVolumes.size(); ++row) {
            listings.push_back(scan(built.image(), std::to_string(row)));
        }
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(listings.size(), kVolumes.size());
    }

    // A copy of the disk to damage.
    std::string copyOfDisk(const harness::TempDir& dir) {
        const std::string copy = dir.file("disk.img");
        harness::run("cp " + quote(built.image()) + " " + quote(copy) + " && chmod 0644 " +
                     quote(copy));
        return copy;
    }

    // `--scan ROW --deep`: the rows without their partition-row column.
    static std::string scan(const std::string& image, const std::string& row) {
        const auto result = harness::run(kEnglish + UNDELETE_BINARY + " --scan " + row +
                                         " --deep " + quote(image) + " 2>/dev/null");
        EXPECT_EQ(result.status, 0) << image << " row " << row;
        std::string listing;
        for (const auto& line : harness::split(result.out, '\n')) {
            listing += line.substr(line.find('\t') + 1) + "\n";
        }
        return listing;
    }

    // `--partitions --deep`: file system, type, start, sectors and origin.
    static std::vector<std::vector<std::string>> partitions(const std::string& image) {
        const auto result = harness::run(kEnglish + UNDELETE_BINARY + " --partitions --deep " +
                                         quote(image) + " 2>/dev/null");
        EXPECT_EQ(result.status, 0);
        std::vector<std::vector<std::string>> rows;
        for (const auto& r : harness::table(result.out)) {
            if (r.size() == 16 && r[0] != "row") rows.push_back({r[0], r[1], r[2], r[11], r[12], r[15]});
        }
        return rows;
    }

    static inline harness::FixtureImage built;
    static inline std::vector<std::string> listings;
};

std::vector<std::string> foundRow(size_t row, const Volume& v) {
    return {std::to_string(row), v.fileSystem, "-", v.start, v.sectors, "found"};
}

TEST_F(LostVolumes, AWipedTableFindsEveryVolumeAtItsStartAndScansItAsBefore) {
    harness::TempDir dir;
    const std::string disk = copyOfDisk(dir);
    // Sector 0 zeroed; the FAT32 and NTFS volumes' first sectors too, so
    // that their backups (6 sectors in, the last sector) tell of them.
    for (const char* sector : {"0", "2048", "133120"}) {
        ASSERT_EQ(harness::run("dd if=/dev/zero of=" + quote(disk) + " bs=512 count=1 seek=" +
                               sector + " conv=notrunc status=none")
                      .status,
                  0);
    }
    const std::string digest = harness::sha256Of(disk);

    // Without the search: no rows, and how to search.
    const auto plain = harness::run(kEnglish + UNDELETE_BINARY + " --partitions " + quote(disk) +
                                    " 2>&1 >/dev/null");
    EXPECT_NE(plain.out.find("no partition table found"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("--partitions --deep"), std::string::npos) << plain.out;

    std::vector<std::vector<std::string>> want;
    for (size_t row = 0; row < kVolumes.size(); ++row) want.push_back(foundRow(row, kVolumes[row]));
    EXPECT_EQ(partitions(disk), want);
    for (size_t row = 0; row < kVolumes.size(); ++row) {
        EXPECT_EQ(scan(disk, std::to_string(row)), listings[row]) << kVolumes[row].fileSystem;
    }
    EXPECT_GT(listings[0].size(), 500u);  // the FAT32 and NTFS volumes list deleted files
    EXPECT_NE(listings[1].find("gone-2.bin"), std::string::npos) << listings[1];
    EXPECT_EQ(harness::sha256Of(disk), digest) << "the search wrote to the disk";
}

TEST_F(LostVolumes, ADeletedEntryIsFoundBesideTheTableRowsAndListedOnce) {
    harness::TempDir dir;
    const std::string disk = copyOfDisk(dir);
    ASSERT_EQ(harness::run("sfdisk -q --no-reread --no-tell-kernel --delete " + quote(disk) +
                           " 2 >/dev/null 2>&1")
                  .status,
              0);
    auto table = [](size_t row, const Volume& v, const char* type) {
        return std::vector<std::string>{std::to_string(row), v.fileSystem, type, v.start, v.sectors,
                                        "table"};
    };
    EXPECT_EQ(partitions(disk), (std::vector<std::vector<std::string>>{
                                    table(0, kVolumes[0], "0C"), table(1, kVolumes[2], "06"),
                                    table(2, kVolumes[3], "07"), foundRow(3, kVolumes[1])}));
    EXPECT_EQ(scan(disk, "3"), listings[1]);
}

}  // namespace
