// Cards formatted by mistake: a FAT32 and an exFAT volume filled through
// mtools or the exfat-fuse driver, then formatted again with mkfs.fat or
// mkfs.exfat. The plain scan lists nothing; the deeper scan lists every old
// file once, in its rebuilt folders under /$Orphan/ (the old root's
// entries are gone, so the top folders' names are made up), with the
// origin "orphan", and saves each byte for byte. Every file The Sleuth Kit
// names among its orphans is listed under that name.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

constexpr const char* kStart = "2048";

struct Row {
    std::string path, name, origin;
};

std::vector<Row> deepListing(const std::string& image, const std::string& options) {
    const auto result = harness::undelete("--scan 0 " + options + " " + quote(image) + " 2>/dev/null");
    EXPECT_EQ(result.status, 0) << options;
    std::vector<Row> rows;
    const auto table = harness::table(result.out);
    for (size_t i = 1; i < table.size(); ++i) {
        if (table[i].size() == 11) rows.push_back({table[i][7], table[i][2], table[i][9]});
    }
    return rows;
}

// The names `fls -r` gives the regular files it lists among its orphans
// (the lines below $OrphanFiles, each indented with "+").
std::vector<std::string> flsNames(const std::string& image) {
    const auto fls = harness::run("fls -r -o " + std::string(kStart) + " " + quote(image) +
                                   " | grep -E '^\\++ [-r]/r ' | sed 's/^[^:]*:\\t//'");
    EXPECT_EQ(fls.status, 0);
    std::vector<std::string> names;
    for (const std::string& name : harness::split(fls.out, '\n')) {
        // Nameless "OrphanFile-N" are entries fls read in file data.
        if (!name.empty() && name[0] != '$' && name.rfind("OrphanFile-", 0) != 0) {
            names.push_back(name);
        }
    }
    return names;
}

void expectTheOldTreeBack(const harness::FixtureImage& built) {
    ASSERT_TRUE(deepListing(built.image(), "").empty());
    const std::vector<Row> rows = deepListing(built.image(), "--deep");
    std::map<std::string, const Row*> byPath;
    std::set<std::string> names;
    for (const Row& row : rows) {
        EXPECT_TRUE(byPath.emplace(row.path + row.name, &row).second) << row.path << row.name;
        EXPECT_EQ(row.origin, "orphan") << row.name;
        names.insert(row.name);
    }
    harness::TempDir out;
    ASSERT_EQ(harness::undelete("--scan 0 --deep --save-all --output " + quote(out.path()) + " " +
                                quote(built.image()) + " 2>/dev/null")
                  .status,
              0);
    // Each old top folder's name is lost with the old root; below it the
    // tree is whole: /DCIM/100CANON/IMG_0001.JPG under /$Orphan/$FolderN/.
    std::map<std::string, std::string> topFolders;  // old top folder → its made-up name
    const std::string top = "/$Orphan/$Folder";
    for (const auto& f : built.manifest) {  // path, size, original
        const size_t second = f[0].find('/', 1);
        const std::string below = f[0].substr(second);
        const Row* found = nullptr;
        for (const auto& [path, row] : byPath) {
            const size_t end = path.find('/', top.size());
            if (path.rfind(top, 0) == 0 && end != std::string::npos && end > top.size() &&
                path.find_first_not_of("0123456789", top.size()) == end &&
                path.substr(end) == below) {
                found = row;
            }
        }
        ASSERT_NE(found, nullptr) << f[0];
        const std::string madeUp = found->path.substr(0, found->path.find('/', 9));
        EXPECT_EQ(topFolders.emplace(f[0].substr(0, second), madeUp).first->second, madeUp) << f[0];
        EXPECT_TRUE(harness::readFile(out.path() + found->path + found->name) ==
                    harness::readFile(built.dir->file(f[2])))
            << f[0];
    }
    EXPECT_EQ(topFolders.size(), 3u);  // DCIM, Documents, Music: each one tree
    if (!harness::haveTool("fls")) return;
    const std::vector<std::string> fls = flsNames(built.image());
    EXPECT_GE(fls.size(), built.manifest.size());
    for (const std::string& name : fls) {
        // An 8.3 alias (fls did not join a long name) stands for a longer one.
        if (name.find('~') != std::string::npos) continue;
        const std::string listed = name[0] == '_' ? "#" + name.substr(1) : name;
        EXPECT_EQ(names.count(listed), 1u) << name;
    }
}

TEST(FormattedCard, Fat32GivesBackItsOldTree) {
    const harness::FixtureImage built = harness::makeFixtureImage("make-fat32-formatted-image.sh");
    if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
    ASSERT_TRUE(built.failure.empty()) << built.failure;
    ASSERT_EQ(built.manifest.size(), 17u);
    expectTheOldTreeBack(built);
}

TEST(FormattedCard, ExfatGivesBackItsOldTree) {
    const harness::FixtureImage built = harness::makeFixtureImage("make-exfat-formatted-image.sh");
    if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
    ASSERT_TRUE(built.failure.empty()) << built.failure;
    ASSERT_EQ(built.manifest.size(), 16u);
    expectTheOldTreeBack(built);
}

}  // namespace
