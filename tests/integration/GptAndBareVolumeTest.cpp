#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

// Cylinder/head/sector of an address on a 255-head, 63-sector disk.
std::vector<std::string> chs(uint64_t lba) {
    return {std::to_string(lba / 16065), std::to_string(lba / 63 % 255),
            std::to_string(lba % 63 + 1)};
}

std::vector<std::string> row(int number, const std::string& name, const std::string& type,
                             uint64_t first, uint64_t count, const std::string& capacity) {
    std::vector<std::string> texts = {std::to_string(number), name, type};
    for (const auto& v : chs(first)) texts.push_back(v);
    for (const auto& v : chs(first + count - 1)) texts.push_back(v);
    texts.push_back(capacity);
    return texts;
}

class GptAndBareVolumes : public ::testing::Test {
protected:
    static void SetUpTestSuite() { built = harness::makeFixtureImage("make-gpt-image.sh"); }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(built.manifest.size(), 4u);
    }

    static std::vector<std::vector<std::string>> partitions(const std::string& image) {
        const auto result = harness::run("LANGUAGE= LC_ALL=C.UTF-8 " +
                                         std::string(UNDELETE_BINARY) + " --partitions " +
                                         quote(built.dir->file(image)));
        EXPECT_EQ(result.status, 0);
        auto rows = harness::table(result.out);
        if (!rows.empty()) rows.erase(rows.begin());  // the header
        for (auto& r : rows) r.resize(std::min<size_t>(r.size(), 10));  // the dialog's columns
        return rows;
    }

    static inline harness::FixtureImage built;
};

TEST_F(GptAndBareVolumes, GptRowsNameTheFileSystemFoundAndTheTypeGuid) {
    EXPECT_EQ(partitions("disk.img"),
              (std::vector<std::vector<std::string>>{
                  row(0, "FAT16", "EFI", 2048, 16384, "0.0 GB"),
                  row(1, "NTFS", "data", 18432, 32768, "0.0 GB"),
                  row(2, "FAT32", "data", 51200, 131072, "0.1 GB"),
              }));
}

TEST_F(GptAndBareVolumes, BareVolumeIsOneRowOfTheWholeImage) {
    EXPECT_EQ(partitions("fat32.img"), (std::vector<std::vector<std::string>>{
                                           row(0, "FAT32", "-", 0, 131072, "0.1 GB")}));
    EXPECT_EQ(partitions("ntfs.img"), (std::vector<std::vector<std::string>>{
                                          row(0, "NTFS", "-", 0, 32768, "0.0 GB")}));
}

// Every row is scanned by the scanner its boot sector asks for, whatever its
// type: the deleted file is listed and comes back byte for byte.
TEST_F(GptAndBareVolumes, DeletedFilesAreListedAndRecovered) {
    for (const auto& expected : built.manifest) {
        ASSERT_EQ(expected.size(), 5u);
        const std::string image = quote(built.dir->file(expected[0]));
        const std::string& partition = expected[1];
        const std::string& name = expected[2];
        const auto scan = harness::undelete("--scan " + partition + " " + image + " 2>/dev/null");
        ASSERT_EQ(scan.status, 0) << expected[0] << " row " << partition;
        std::string index;
        for (const auto& listed : harness::table(scan.out)) {
            if (listed.size() >= 5 && listed[2] == name) index = listed[1];
        }
        ASSERT_FALSE(index.empty()) << name << " not listed:\n" << scan.out;
        const std::string output = built.dir->file("saved-" + name);
        const auto saved = harness::undelete("--scan " + partition + " --save " + index +
                                             " --output " + quote(output) + " " + image +
                                             " 2>/dev/null");
        ASSERT_EQ(saved.status, 0) << name;
        EXPECT_TRUE(harness::readFile(output) == harness::readFile(built.dir->file(expected[4])))
            << name << " differs from its original";
    }
}

}  // namespace
