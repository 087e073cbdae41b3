#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Harness.h"
#include "common/Text.h"
#include "disk/DriveSelection.h"
#include "ntfs/NtfsScanner.h"

using harness::quote;

namespace {

// One deleted file the image builder expects a scan to list.
struct Expected {
    std::string row, index, name;
    unsigned long long size = 0;
    long long created = 0;  // seconds since 1970, UTC
    std::string content;
};

// The time text of `seconds` shifted by a fixed offset.
std::string timeText(long long seconds, long long offset) {
    const std::time_t t = static_cast<std::time_t>(seconds + offset);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[80];
    std::snprintf(text, sizeof text, "%d/%d/%d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// A listed row: catalogue index → name, time, size.
using Listing = std::map<std::string, std::vector<std::string>>;

class NtfsRecovery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        built = harness::makeFixtureImage("make-ntfs-image.sh");
        for (const auto& f : built.manifest) {
            if (f.size() != 6) continue;
            expected.push_back({f[0], f[1], f[2], std::stoull(f[3]), std::stoll(f[4]), f[5]});
        }
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(expected.size(), 12u);
    }

    static std::string image() { return built.image(); }

    // Scans `row` with the environment `env` in front of the program.
    static Listing scan(const std::string& row, const std::string& env = "TZ=UTC") {
        const std::string errors = built.dir->file("scan.err");
        const auto result = harness::run(env + " " + UNDELETE_BINARY + " --scan " + row + " " +
                                         quote(image()) + " 2>" + quote(errors));
        EXPECT_EQ(result.status, 0) << harness::readFile(errors);
        EXPECT_EQ(harness::readFile(errors), "");
        Listing listed;
        const auto rows = harness::table(result.out);
        for (size_t i = 1; i < rows.size(); ++i) {
            if (rows[i].size() < 5) continue;  // then bytes, created, path, state
            listed[rows[i][1]] = {rows[i][2], rows[i][3], rows[i][4]};
        }
        return listed;
    }

    static inline harness::FixtureImage built;
    static inline std::vector<Expected> expected;
};

TEST_F(NtfsRecovery, ListsEveryDeletedFileWithNameTimeAndSize) {
    std::map<std::string, Listing> byRow = {{"0", scan("0")}, {"1", scan("1")}};
    for (const Expected& e : expected) {
        const Listing& listed = byRow[e.row];
        const auto found = listed.find(e.index);
        ASSERT_NE(found, listed.end()) << e.name << " (record " << e.index << ") not listed";
        // The batch lists names whole; the manifest holds the dialog's
        // text, which stops after 259 bytes.
        EXPECT_EQ(found->second[0].substr(0, e.name.size()), e.name);
        if (e.name.size() < 256) {
            EXPECT_EQ(found->second[0], e.name);
        }
        EXPECT_EQ(found->second[1], timeText(e.created, 0)) << e.name;
        EXPECT_EQ(found->second[2], harness::expectedSizeText(e.size)) << e.name;
    }
    // Files in use, and the volume's own records, are not listed.
    for (const auto& [row, listed] : byRow) {
        for (const auto& [index, texts] : listed) {
            EXPECT_NE(texts[0], "keep.txt");
            EXPECT_NE(texts[0], "stays.bin");
            EXPECT_NE(texts[0].substr(0, 1), "$") << texts[0];
        }
    }
    EXPECT_EQ(byRow["0"].size() + byRow["1"].size(), expected.size());
}

TEST_F(NtfsRecovery, SavesEveryDeletedFileByteForByte) {
    for (const Expected& e : expected) {
        const std::string output = built.dir->file("saved-" + e.row + "-" + e.index);
        const auto saved = harness::undelete("--scan " + e.row + " --save " + e.index +
                                             " --output " + quote(output) + " " + quote(image()));
        ASSERT_EQ(saved.status, 0) << e.name;
        const std::string original = harness::readFile(built.dir->file(e.content));
        const std::string recovered = harness::readFile(output);
        EXPECT_EQ(recovered.size(), e.size) << e.name;
        EXPECT_TRUE(recovered == original) << e.name << " differs from its original";
    }
}

// 100 Chinese characters and ".txt": legal on NTFS (104 UTF-16 units), 304
// bytes here, where a name holds 255.
TEST_F(NtfsRecovery, ANameLongerThanTheSystemAllowsIsSavedShortenedKeepingItsExtension) {
    harness::TempDir out;
    const auto saved = harness::undelete("--scan 0 --save-all --output " + quote(out.path()) + " " +
                                         quote(image()) + " 2>&1");
    EXPECT_EQ(saved.status, 0) << saved.out;
    std::string shortened;
    for (int i = 0; i < 83; ++i) shortened += "档";  // 249 bytes, whole characters
    const auto longName = std::find_if(expected.begin(), expected.end(),
                                    [](const Expected& e) { return e.size == 300; });
    ASSERT_NE(longName, expected.end());
    EXPECT_EQ(harness::readFile(out.file(shortened + ".txt")),
              harness::readFile(built.dir->file(longName->content)));
}

TEST_F(NtfsRecovery, TheFragmentedFileReallyHasSeveralRuns) {
    // Its recovery is checked with the others; this keeps the builder honest.
    EXPECT_GE(std::stoi(harness::readFile(built.dir->file("fragments.txt"))), 2);
}

TEST_F(NtfsRecovery, TimesTakeTheZoneOffsetOfTheirOwnDateWhateverTheDateNow) {
    if (!harness::haveTool("faketime") ||
        harness::run("test -e /usr/share/zoneinfo/Europe/Berlin").status != 0) {
        GTEST_SKIP() << "faketime or the zone data is missing";
    }
    // A fixed zone of UTC+8.
    const Listing east = scan("1", "TZ=CST-8");
    // Berlin in July keeps summer time, but the stamps are of March, when
    // its clocks were an hour behind summer time: they keep that offset.
    const Listing summer = scan("1",
                                "TZ=Europe/Berlin ASAN_OPTIONS=verify_asan_link_order=0 "
                                "faketime '2024-07-01 12:00:00'");
    for (const Expected& e : expected) {
        if (e.row != "1") continue;
        ASSERT_EQ(east.count(e.index), 1u) << e.name;
        EXPECT_EQ(east.at(e.index)[1], timeText(e.created, 8 * 3600)) << e.name;
        ASSERT_EQ(summer.count(e.index), 1u) << e.name;
        EXPECT_EQ(summer.at(e.index)[1], timeText(e.created, 3600)) << e.name;
    }
}

// The tree image: deleted files in nested and deleted folders, one whose
// folder's record was reused, one whose clusters a live file took.
class NtfsTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() { built = harness::makeFixtureImage("make-ntfs-tree-image.sh"); }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(built.manifest.size(), 5u);
    }

    // Every listed record with its description, read by the scanner itself.
    static std::map<uint32_t, undelete::DeletedFile> scan() {
        undelete::initProcessLocale();
        undelete::PartitionRecord partition;
        partition.partitionType = 0x07;
        partition.relativeSectors = kStart;
        partition.totalSectors = 65536;
        undelete::ScanContext context{undelete::driveOpener(built.image()), {}, {}, {}, {}};
        undelete::NtfsScanner scanner(context);
        std::map<uint32_t, undelete::DeletedFile> listed;
        if (!scanner.open(&partition)) return listed;
        undelete::DeletedFile file;
        for (uint32_t i = 0; scanner.hasItem(i); ++i) {
            if (scanner.describe(i, file)) listed[i] = file;
        }
        return listed;
    }

    static constexpr uint64_t kStart = 2048;
    static inline harness::FixtureImage built;
};

const char* stateName(undelete::FileState state) {
    switch (state) {
        case undelete::FileState::Intact: return "intact";
        case undelete::FileState::Partial: return "partial";
        case undelete::FileState::Overwritten: return "overwritten";
        default: return "unknown";
    }
}

TEST_F(NtfsTree, ListsEveryDeletedFileWithItsFolderAndState) {
    auto listed = scan();
    for (const auto& f : built.manifest) {
        const auto found = listed.find(static_cast<uint32_t>(std::stoul(f[0])));
        ASSERT_NE(found, listed.end()) << f[1] << " not listed";
        EXPECT_EQ(found->second.name, f[1]);
        EXPECT_EQ(found->second.path, f[2]) << f[1];
        EXPECT_STREQ(stateName(found->second.state), f[3].c_str()) << f[1];
    }
    EXPECT_EQ(listed.size(), built.manifest.size());
    // The independent peer finds the same named deleted files.
    if (harness::haveTool("fls")) {
        const auto peer = harness::run("fls -rdp -o " + std::to_string(kStart) + " " +
                                       quote(built.image()) +
                                       " | grep -c '^-/r \\* [0-9]*-.*:\t' | tr -d '\\n'");
        EXPECT_EQ(peer.out, std::to_string(listed.size()));
    }
}

TEST_F(NtfsTree, SavesTheIntactOnesByteForByteAndTheOverwrittenOneIsNotItsOriginal) {
    for (const auto& f : built.manifest) {
        const std::string output = built.dir->file("saved-" + f[0]);
        const auto saved = harness::undelete("--scan 0 --save " + f[0] + " --output " +
                                             quote(output) + " " + quote(built.image()));
        ASSERT_EQ(saved.status, 0) << f[1];
        const std::string original = harness::readFile(built.dir->file(f[4]));
        const std::string recovered = harness::readFile(output);
        EXPECT_EQ(recovered.size(), original.size()) << f[1];
        EXPECT_EQ(recovered == original, f[3] == "intact") << f[1];
    }
}

}  // namespace
