#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

// Disks and volumes of 4096-byte sectors: a GPT disk read as an image file
// (its sector size probed) and through a loop device of 4096-byte sectors
// (which, like a raw disk, has its own), and the two volumes bare.
class FourKSectors : public ::testing::Test {
protected:
    static void SetUpTestSuite() { built = harness::makeFixtureImage("make-4k-image.sh"); }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(built.manifest.size(), 7u);
    }

    // A read-only loop device of 4096-byte sectors on the disk image.
    struct Loop {
        std::string device;
        Loop() {
            device = harness::run("losetup -f --show -r --sector-size 4096 " +
                                  quote(built.image()))
                         .out;
            while (!device.empty() && device.back() == '\n') device.pop_back();
        }
        ~Loop() {
            if (!device.empty()) harness::run("losetup -d " + device);
        }
    };

    // Lists `row` of `disk`, saves the file called `name` and compares it
    // with `original`; `bytes` is the size it must be listed with.
    static void recovers(const std::string& disk, const std::string& row, const std::string& name,
                         const std::string& bytes, const std::string& original) {
        const auto scan = harness::undelete("--scan " + row + " " + quote(disk));
        ASSERT_EQ(scan.status, 0) << disk << " row " << row;
        std::string index;
        for (const auto& listed : harness::table(scan.out)) {
            if (listed.size() >= 6 && listed[2] == name) {
                index = listed[1];
                EXPECT_EQ(listed[5], bytes) << name;
            }
        }
        ASSERT_FALSE(index.empty()) << name << " not listed in " << disk << ":\n" << scan.out;
        const std::string output = built.dir->file("saved");
        const auto saved = harness::undelete("--scan " + row + " --save " + index + " --output " +
                                             quote(output) + " --force " + quote(disk));
        ASSERT_EQ(saved.status, 0) << name;
        EXPECT_TRUE(harness::readFile(output) == harness::readFile(built.dir->file(original)))
            << name << " from " << disk << " differs from its original";
    }

    static inline harness::FixtureImage built;
};

TEST_F(FourKSectors, PartitionsCountTheDisksOwnSectors) {
    Loop loop;
    ASSERT_FALSE(loop.device.empty());
    for (const std::string& disk : {built.image(), loop.device}) {
        const auto result = harness::undelete("--partitions " + quote(disk));
        ASSERT_EQ(result.status, 0) << disk;
        const auto rows = harness::table(result.out);
        ASSERT_EQ(rows.size(), 3u) << disk << ":\n" << result.out;
        ASSERT_EQ(rows[0].back(), "origin");
        // start, sectors, bytes, sector_size; the capacity in GB of bytes.
        EXPECT_EQ(std::vector<std::string>(rows[1].begin() + 9, rows[1].end()),
                  (std::vector<std::string>{"0.1 GB", "no", "256", "16384", "67108864", "4096", "table"}));
        EXPECT_EQ(std::vector<std::string>(rows[2].begin() + 9, rows[2].end()),
                  (std::vector<std::string>{"0.3 GB", "no", "16640", "76800", "314572800", "4096", "table"}));
        EXPECT_EQ(rows[1][1], "NTFS");
        EXPECT_EQ(rows[2][1], "FAT32");
    }
}

// A 3000-byte file resident in a 4096-byte record, a file in runs, FAT32
// files in 4096-byte sectors: each listed with its size and saved exact.
TEST_F(FourKSectors, DeletedFilesAreListedAndSavedExactly) {
    Loop loop;
    ASSERT_FALSE(loop.device.empty());
    for (const auto& expected : built.manifest) {
        ASSERT_EQ(expected.size(), 5u);
        recovers(built.dir->file(expected[0]), expected[1], expected[2], expected[3], expected[4]);
        if (expected[0] == "disk.img") {
            recovers(loop.device, expected[1], expected[2], expected[3], expected[4]);
        }
    }
}

}  // namespace
