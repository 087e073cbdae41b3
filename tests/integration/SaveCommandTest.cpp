#include <gtest/gtest.h>

#include <map>

#include "Harness.h"

using harness::quote;

namespace {

// The batch save on a real FAT32 image: what it refuses, what it replaces.
class SaveCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        built = harness::makeFixtureImage("make-fat32-image.sh");
        image = built.failure.empty() && built.skipReason.empty() ? built.image() : "";
        // Name → original, from the builder's manifest (row 0 only).
        for (const auto& f : built.manifest) {
            if (f.size() == 5 && f[0] == "0") originals[f[1]] = built.dir->file(f[4]);
        }
        // Name → catalogue index, from a scan.
        if (image.empty()) return;
        const auto scan = harness::undelete("--scan 0 " + quote(image) + " 2>/dev/null");
        for (const auto& f : harness::table(scan.out)) {
            if (f.size() == 11 && originals.count(f[2])) indices[f[2]] = f[1];
        }
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }
    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_FALSE(indices.empty()) << "the scan listed none of the deleted files";
    }
    static harness::Result save(const std::string& index, const std::string& output,
                                const std::string& extra = "") {
        return harness::undelete("--scan 0 --save " + index + " --output " + quote(output) + " " +
                                 extra + " " + quote(image) + " 2>/dev/null");
    }
    static std::string checksum(const std::string& path) {
        return harness::run("sha256sum " + quote(path)).out.substr(0, 64);
    }

    static inline harness::FixtureImage built;
    static inline std::string image;
    static inline std::map<std::string, std::string> originals, indices;
};

TEST_F(SaveCommand, ExistingOutputIsKeptWithoutForceAndReplacedWithIt) {
    const auto& [name, index] = *indices.begin();
    const std::string expected = harness::readFile(originals[name]);
    const std::string output = built.dir->file("out.bin");
    { std::ofstream(output) << "keep me"; }
    EXPECT_EQ(save(index, output).status, 1);
    EXPECT_EQ(harness::readFile(output), "keep me");
    EXPECT_EQ(save(index, output, "--force").status, 0);
    EXPECT_EQ(save(index, output, "--force").status, 0);
    EXPECT_EQ(harness::readFile(output), expected) << name;  // replaced, never appended
}

TEST_F(SaveCommand, TheDiskImageIsNeverWrittenEvenWithForce) {
    const std::string before = checksum(image);
    EXPECT_EQ(save(indices.begin()->second, image, "--force").status, 1);
    EXPECT_EQ(checksum(image), before);
}

TEST_F(SaveCommand, IndicesThatWereNotListedAndRowsThatDoNotExistAreRefused) {
    const std::string output = built.dir->file("never.bin");
    const auto refused = harness::undelete("--scan 0 --save 999999 --output " + quote(output) + " " +
                                           quote(image) + " 2>&1");
    EXPECT_EQ(refused.status, 1);
    // It says where the indices are and which listed ones are nearest.
    EXPECT_NE(refused.out.find("the index column of --scan 0"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("nearest listed: "), std::string::npos) << refused.out;
    EXPECT_EQ(harness::undelete("--scan 7 " + quote(image) + " 2>/dev/null").status, 2);
    EXPECT_FALSE(std::ifstream(output).good());
}

TEST_F(SaveCommand, APartitionWithoutItsFileSystemFailsTheScan) {
    const std::string blank = built.dir->file("blank.img");
    ASSERT_EQ(harness::run(quote(harness::fixture("make-partition-image.sh")) + " " + quote(blank))
                  .status,
              0);
    const auto result = harness::undelete("--scan 0 " + quote(blank) + " 2>/dev/null");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.empty());
}

}  // namespace
