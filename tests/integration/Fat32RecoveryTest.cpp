#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

// One deleted file the image builder expects a scan to list.
struct Expected {
    std::string row, name, size, time, original;
};

class Fat32Recovery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        built = harness::makeFixtureImage("make-fat32-image.sh");
        for (const auto& fields : built.manifest) {
            if (fields.size() != 5) continue;
            expected.push_back({fields[0], fields[1],
                                harness::expectedSizeText(std::stoull(fields[2])), fields[3],
                                fields[4]});
        }
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_GE(expected.size(), 10u);
    }

    static std::string image() { return built.image(); }

    // name → index, time and size of every row the scan of `row` lists.
    static std::map<std::string, std::vector<std::string>> scan(const std::string& row,
                                                                std::string* errors = nullptr) {
        const std::string errorFile = built.dir->file("scan-" + row + ".err");
        // -v and a Chinese locale: the scanner's two messages as they are.
        const auto result = harness::run("LC_ALL= LANGUAGE= LANG=zh_CN.UTF-8 " +
                                         std::string(UNDELETE_BINARY) + " -v --scan " + row +
                                         " " + quote(image()) + " 2>" + quote(errorFile));
        EXPECT_EQ(result.status, 0) << harness::readFile(errorFile);
        if (errors) *errors = harness::readFile(errorFile);
        std::map<std::string, std::vector<std::string>> listed;
        const auto rows = harness::table(result.out);
        for (size_t i = 1; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].size(), 9u);  // row index name time size bytes created path state
            if (rows[i].size() < 5) continue;
            EXPECT_EQ(listed.count(rows[i][2]), 0u) << "listed twice: " << rows[i][2];
            listed[rows[i][2]] = {rows[i][1], rows[i][3], rows[i][4]};
        }
        return listed;
    }

    static inline harness::FixtureImage built;
    static inline std::vector<Expected> expected;
};

TEST_F(Fat32Recovery, ListsEveryDeletedFileWithItsNameTimeAndSize) {
    for (const std::string row : {"0", "1"}) {
        std::string errors;
        const auto listed = scan(row, &errors);
        std::set<std::string> wanted;
        for (const Expected& e : expected) {
            if (e.row != row) continue;
            wanted.insert(e.name);
            const auto found = listed.find(e.name);
            ASSERT_NE(found, listed.end()) << "row " << row << ": " << e.name << " not listed";
            EXPECT_EQ(found->second[1], e.time) << e.name;
            EXPECT_EQ(found->second[2], e.size) << e.name;
        }
        // Nothing else: no live file, no deleted directory and nothing found
        // inside one.
        for (const auto& entry : listed) EXPECT_EQ(wanted.count(entry.first), 1u) << entry.first;
        EXPECT_EQ(errors,
                  "undelete: 程序正在准备初始化，可能需要很长时间才能响应\n"
                  "undelete: 初始化已经成功完成\n");
    }
}

TEST_F(Fat32Recovery, RecoversEveryDeletedFileByteForByte) {
    std::map<std::string, std::map<std::string, std::vector<std::string>>> listings;
    for (const std::string row : {"0", "1"}) listings[row] = scan(row);
    for (const Expected& e : expected) {
        const auto found = listings[e.row].find(e.name);
        ASSERT_NE(found, listings[e.row].end()) << e.name;
        const std::string output = built.dir->file("saved-" + e.row + "-" + found->second[0]);
        const auto saved = harness::undelete("--scan " + e.row + " --save " + found->second[0] +
                                             " --output " + quote(output) + " " + quote(image()) +
                                             " 2>/dev/null");
        ASSERT_EQ(saved.status, 0) << e.name;
        const std::string original = harness::readFile(built.dir->file(e.original));
        const std::string recovered = harness::readFile(output);
        EXPECT_EQ(recovered.size(), original.size()) << e.name;
        EXPECT_TRUE(recovered == original) << e.name << " differs from " << e.original;
    }
}

}  // namespace
