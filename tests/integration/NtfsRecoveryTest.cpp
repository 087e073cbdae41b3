#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Harness.h"

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
        if (harness::run("test \"$(id -u)\" = 0").status != 0) {
            built.skipReason = "loop devices need root";
            return;
        }
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

TEST_F(NtfsRecovery, TheFragmentedFileReallyHasSeveralRuns) {
    // Its recovery is checked with the others; this keeps the builder honest.
    EXPECT_GE(std::stoi(harness::readFile(built.dir->file("fragments.txt"))), 2);
}

TEST_F(NtfsRecovery, TimesTakeTheZoneOffsetInForceNowWhateverTheStampsDate) {
    if (!harness::haveTool("faketime") ||
        harness::run("test -e /usr/share/zoneinfo/Europe/Berlin").status != 0) {
        GTEST_SKIP() << "faketime or the zone data is missing";
    }
    // A fixed zone of UTC+8.
    const Listing east = scan("1", "TZ=CST-8");
    // Berlin in July keeps summer time: one hour more than the winter
    // offset its March stamps had then.
    const Listing summer = scan("1",
                                "TZ=Europe/Berlin ASAN_OPTIONS=verify_asan_link_order=0 "
                                "faketime '2024-07-01 12:00:00'");
    for (const Expected& e : expected) {
        if (e.row != "1") continue;
        ASSERT_EQ(east.count(e.index), 1u) << e.name;
        EXPECT_EQ(east.at(e.index)[1], timeText(e.created, 8 * 3600)) << e.name;
        ASSERT_EQ(summer.count(e.index), 1u) << e.name;
        EXPECT_EQ(summer.at(e.index)[1], timeText(e.created, 2 * 3600)) << e.name;
    }
}

}  // namespace
