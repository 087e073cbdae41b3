#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Harness.h"
#include "common/Text.h"
#include "disk/DriveSelection.h"
#include "fat/FatScanner.h"
#include "core/DiskSource.h"
#include "partition/PartitionRows.h"
#include "scan/RowTexts.h"

using harness::quote;

namespace {

// One deleted file the image builder expects a scan to list.
struct Expected {
    std::string image, row, name, size, time, original, folder, state;
};

// What the scanner lists of one file, by folder and name.
struct Listed {
    uint32_t index = 0;
    std::string size, time, state;
};

const char* stateText(undelete::FileState state) {
    switch (state) {
    case undelete::FileState::Intact: return "intact";
    case undelete::FileState::Partial: return "partial";
    case undelete::FileState::Overwritten: return "overwritten";
    default: return "unknown";
    }
}

class Fat32Recovery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        built = harness::makeFixtureImage("make-fat32-image.sh");
        if (!built.dir || !built.failure.empty() || !built.skipReason.empty()) return;
        // Each manifest line with the folder and state its states file gives.
        for (const std::string prefix : {"", "reuse-"}) {
            const std::string image = built.dir->file(prefix.empty() ? "disk.img" : "reuse.img");
            const auto manifest =
                harness::table(harness::readFile(built.dir->file(prefix + "manifest.tsv")));
            const auto states =
                harness::table(harness::readFile(built.dir->file(prefix + "states.tsv")));
            for (size_t i = 0; i < manifest.size() && i < states.size(); ++i) {
                const auto& f = manifest[i];
                if (f.size() != 5 || states[i].size() != 2) continue;
                expected.push_back({image, f[0], f[1],
                                    harness::expectedSizeText(std::stoull(f[2])), f[3], f[4],
                                    states[i][0], states[i][1]});
            }
        }
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_GE(expected.size(), 80u);
        ASSERT_TRUE(undelete::initProcessLocale());
    }

    static std::string image() { return built.image(); }
    static std::string reuseImage() { return built.dir->file("reuse.img"); }

    // Folder + name → what the scanner lists for partition row `row` of
    // `disk`, read from the image file by the scanner itself.
    static std::map<std::string, Listed> scan(const std::string& disk, int row,
                                              std::vector<std::string>& messages) {
        using namespace undelete;
        const DriveOpener opener = driveOpener(disk);
        std::vector<PartitionRow> rows;
        partitionRows(DiskSource{opener}, {}, rows);
        std::map<std::string, Listed> listed;
        if (row >= static_cast<int>(rows.size())) return listed;
        FatScanner scanner(ScanContext{opener, [&](const char* m) { messages.push_back(m); },
                                         {}, {}, {}});
        if (!scanner.open(&rows[static_cast<size_t>(row)].record)) return listed;
        DeletedFile file;
        ResultRow texts{};
        for (uint32_t i = 0; scanner.hasItem(i); ++i) {
            if (!scanner.describe(i, file)) continue;
            formatResultRow(file, LocalZone::fixed(0), texts);
            const std::string key = file.path + file.name;
            EXPECT_EQ(listed.count(key), 0u) << "listed twice: " << key;
            listed[key] = {i, texts.sizeText, texts.timeText, stateText(file.state)};
        }
        return listed;
    }

    static inline harness::FixtureImage built;
    static inline std::vector<Expected> expected;
};

TEST_F(Fat32Recovery, ListsEveryDeletedFileWithItsPathTimeSizeAndState) {
    for (const auto& [disk, row] : {std::pair<std::string, int>{image(), 0}, {image(), 1},
                                    {reuseImage(), 0}}) {
        std::vector<std::string> messages;
        const auto listed = scan(disk, row, messages);
        std::set<std::string> wanted;
        for (const Expected& e : expected) {
            if (e.image != disk || e.row != std::to_string(row)) continue;
            const std::string key = e.folder + e.name;
            wanted.insert(key);
            const auto found = listed.find(key);
            ASSERT_NE(found, listed.end()) << "row " << row << ": " << key << " not listed";
            EXPECT_EQ(found->second.time, e.time) << key;
            EXPECT_EQ(found->second.size, e.size) << key;
            EXPECT_EQ(found->second.state, e.state) << key;
        }
        // Nothing else: no live file, no deleted folder itself.
        for (const auto& entry : listed) EXPECT_EQ(wanted.count(entry.first), 1u) << entry.first;
        EXPECT_EQ(messages, (std::vector<std::string>{
                                "程序正在准备初始化，可能需要很长时间才能响应", "初始化已经成功完成"}));
    }
}

TEST_F(Fat32Recovery, RecoversEveryFileWhoseClustersAreStillItsOwnByteForByte) {
    std::map<std::string, std::map<std::string, Listed>> listings;
    std::vector<std::string> messages;
    listings[image() + "0"] = scan(image(), 0, messages);
    listings[image() + "1"] = scan(image(), 1, messages);
    listings[reuseImage() + "0"] = scan(reuseImage(), 0, messages);
    int saved = 0;
    for (const Expected& e : expected) {
        if (e.original == "-") continue;  // later files took its clusters
        const auto& listing = listings[e.image + e.row];
        const auto found = listing.find(e.folder + e.name);
        ASSERT_NE(found, listing.end()) << e.folder << e.name;
        const std::string index = std::to_string(found->second.index);
        const std::string output =
            built.dir->file("saved-" + std::to_string(saved) + "-" + e.row + "-" + index);
        const auto result = harness::undelete("--scan " + e.row + " --save " + index +
                                              " --output " + quote(output) + " " +
                                              quote(e.image) + " 2>/dev/null");
        ASSERT_EQ(result.status, 0) << e.folder << e.name;
        const std::string original = harness::readFile(built.dir->file(e.original));
        const std::string recovered = harness::readFile(output);
        EXPECT_EQ(recovered.size(), original.size()) << e.folder << e.name;
        EXPECT_TRUE(recovered == original) << e.folder << e.name << " differs from " << e.original;
        ++saved;
    }
    EXPECT_GE(saved, 75);
}

// The Sleuth Kit as an independent peer: every deleted file it lists on
// the primary partition is listed here too, in the same folder.
TEST_F(Fat32Recovery, ListsEveryDeletedFileThePeerLists) {
    if (!harness::haveTool("fls")) GTEST_SKIP() << "fls (sleuthkit) is not installed";
    const auto peer = harness::run("fls -rdp -o 2048 " + quote(image()) + " 2>/dev/null");
    ASSERT_EQ(peer.status, 0);
    std::vector<std::string> messages;
    const auto listed = scan(image(), 0, messages);
    int files = 0;
    for (const std::string& line : harness::split(peer.out, '\n')) {
        // Deleted files only; "-/r" are those it finds as orphans.
        if (line.rfind("r/r * ", 0) != 0 && line.rfind("-/r * ", 0) != 0) continue;
        const size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        std::string path = "/" + line.substr(tab + 1);
        const size_t slash = path.rfind('/');
        std::string folder = path.substr(0, slash + 1), name = path.substr(slash + 1);
        // The peer shows a lost first character as '_', this program as '#'.
        // What it cannot place (files of deleted folders) it puts under
        // $OrphanFiles: those match by name in any folder.
        const bool orphan = folder.rfind("/$OrphanFiles/", 0) == 0;
        bool found = listed.count(folder + name) != 0;
        if (!found && !name.empty()) {
            name[0] = '#';
            for (const auto& l : listed) {
                const std::string& key = l.first;
                const size_t s = key.rfind('/');
                // 8.3 names: both lower them by their case bits.
                if ((orphan || key.substr(0, s + 1) == folder) && key.substr(s + 1) == name) {
                    found = true;
                }
            }
        }
        EXPECT_TRUE(found) << "the peer lists " << path;
        ++files;
    }
    EXPECT_GE(static_cast<int>(listed.size()), files);
    std::printf("deleted files: fls -rd %d, this scanner %zu\n", files, listed.size());
}

}  // namespace
