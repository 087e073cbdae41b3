// An emptied recycle bin on an NTFS volume made by ntfs-3g: the files
// Windows had moved into it are listed under their original names and
// folders with their deletion times, and saved there byte for byte; the
// records that told where they came from are not listed.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

class RecycleBin : public ::testing::Test {
protected:
    static void SetUpTestSuite() { built = harness::makeFixtureImage("make-ntfs-recycle-image.sh"); }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(built.manifest.size(), 5u);
    }

    static inline harness::FixtureImage built;
};

TEST_F(RecycleBin, ListsEachFileUnderItsOriginalNameFolderAndDeletionTimeAndSavesItThere) {
    const auto listing = harness::undelete("--scan 0 " + quote(built.image()));
    ASSERT_EQ(listing.status, 0) << listing.out;
    std::map<std::string, std::vector<std::string>> rows;  // by index
    for (const auto& f : harness::table(listing.out)) {
        ASSERT_EQ(f.size(), 11u) << f[0];
        if (f[0] == "row") continue;
        EXPECT_NE(f[2].substr(0, 2), "$I") << "a record is listed: " << f[7] << f[2];
        rows[f[1]] = f;
    }
    EXPECT_EQ(rows.size(), built.manifest.size());
    for (const auto& m : built.manifest) {
        ASSERT_EQ(rows.count(m[0]), 1u) << m[1] << " not listed";
        const auto& row = rows[m[0]];
        EXPECT_EQ(row[2], m[1]);
        EXPECT_EQ(row[7], m[2]) << m[1];
        EXPECT_EQ(row[10], m[3]) << m[1];
    }
    // JSON: the deletion time, or null.
    const auto json = harness::undelete("--json --scan 0 " + quote(built.image()));
    EXPECT_NE(json.out.find("\"name\":\"holiday 2024.jpg\",\"size\":30000,"), std::string::npos);
    EXPECT_NE(json.out.find("\"deleted\":\"2024-05-01T12:00:00Z\"}"), std::string::npos);
    EXPECT_NE(json.out.find("\"state\":\"intact\",\"origin\":\"table\",\"deleted\":null}"), std::string::npos);

    // Saved all at once: the original folders are made again.
    const std::string out = built.dir->file("saved");
    const auto saved = harness::undelete("--scan 0 --save-all --output " + quote(out + "/") + " " +
                                         quote(built.image()) + " 2>&1");
    ASSERT_EQ(saved.status, 0) << saved.out;
    for (const auto& m : built.manifest) {
        const std::string original = harness::readFile(built.dir->file(m[4]));
        ASSERT_FALSE(original.empty()) << m[4];
        EXPECT_TRUE(harness::readFile(out + m[2] + m[1]) == original) << m[2] << m[1];
    }
}

}  // namespace
