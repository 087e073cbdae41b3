// A filled NTFS volume quick-formatted by mistake (mkntfs -Q over files
// written by ntfs-3g): the plain scan finds nothing, the deeper scan finds
// every old file's record past the new table's end and lists it by name
// under its old folder, from the record search, and saves it byte for
// byte into its rebuilt folders.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Harness.h"
#include "common/Text.h"
#include "disk/DriveSelection.h"
#include "ntfs/NtfsScanner.h"

namespace {

using namespace undelete;

class NtfsFormatted : public ::testing::Test {
protected:
    static void SetUpTestSuite() { built = harness::makeFixtureImage("make-ntfs-formatted-image.sh"); }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(built.manifest.size(), 14u);
        ASSERT_TRUE(initProcessLocale());
    }

    // Path + name → the file as the scanner describes it; `passed` counts
    // the deep pass's progress reports.
    static std::map<std::string, DeletedFile> scan(bool deep, int& passed) {
        PartitionRecord partition;
        partition.partitionType = 0x07;
        partition.relativeSectors = 2048;
        partition.totalSectors = 131072;
        ScanContext context{driveOpener(built.image()), {}, {}, {}, {}};
        context.deepScan = deep;
        context.showPassProgress = [&passed](uint64_t done, uint64_t total) {
            EXPECT_LE(done, total);
            ++passed;
        };
        NtfsScanner scanner(context);
        std::map<std::string, DeletedFile> listed;
        EXPECT_TRUE(scanner.open(&partition));
        DeletedFile file;
        for (uint32_t i = 0; scanner.hasItem(i); ++i) {
            if (!scanner.describe(i, file)) continue;
            EXPECT_TRUE(listed.emplace(file.path + file.name, file).second) << file.name << " twice";
        }
        return listed;
    }

    static inline harness::FixtureImage built;
};

TEST_F(NtfsFormatted, TheDeeperScanListsEveryOldFileUnderItsFolderAndSavesIt) {
    int passed = 0;
    EXPECT_TRUE(scan(false, passed).empty());
    EXPECT_EQ(passed, 0);
    const auto listed = scan(true, passed);
    EXPECT_GT(passed, 0);
    EXPECT_EQ(listed.size(), built.manifest.size());
    harness::TempDir out;
    ASSERT_EQ(harness::undelete("--scan 0 --deep --save-all --output " + harness::quote(out.path()) +
                                " " + harness::quote(built.image()) + " 2>/dev/null")
                  .status,
              0);
    for (const auto& f : built.manifest) {  // name, folder, original
        const auto found = listed.find(f[1] + f[0]);
        ASSERT_NE(found, listed.end()) << f[1] + f[0] << " not listed";
        EXPECT_EQ(found->second.origin, FileOrigin::Search) << f[0];
        EXPECT_EQ(found->second.state, FileState::Intact) << f[0];
        const std::string original = harness::readFile(built.dir->file(f[2]));
        EXPECT_EQ(found->second.size, original.size()) << f[0];
        EXPECT_TRUE(harness::readFile(out.path() + f[1] + f[0]) == original) << f[0];
    }
}

}  // namespace
