#include <gtest/gtest.h>

#include <sys/stat.h>

#include "Harness.h"

using harness::quote;

namespace {

// Cylinder/head/sector of an address on a 255-head, 63-sector disk.
std::vector<std::string> chs(uint64_t lba) {
    return {std::to_string(lba / 16065), std::to_string(lba % 16065 / 63),
            std::to_string(lba % 63 + 1)};
}

std::vector<std::string> expectedRow(int number, const std::string& name, const std::string& code,
                                     bool active, uint64_t first, uint64_t count) {
    std::vector<std::string> row = {std::to_string(number), name, code};
    for (const auto& v : chs(first)) row.push_back(v);
    for (const auto& v : chs(first + count - 1)) row.push_back(v);
    row.push_back("0.1 GB");  // 64 MiB
    for (const auto& v : {std::string(active ? "yes" : "no"), std::to_string(first),
                          std::to_string(count), std::to_string(count * 512), std::string("512"),
                          std::string("table")}) {
        row.push_back(v);
    }
    return row;
}

TEST(PartitionsCommand, ListsPrimariesThenLogicalsOfARealTable) {
    if (!harness::haveTool("sfdisk")) GTEST_SKIP() << "sfdisk missing";
    harness::TempDir dir;
    const std::string image = dir.file("disk.img");
    ASSERT_EQ(harness::run(quote(harness::fixture("make-partition-image.sh")) + " " + quote(image))
                  .status,
              0);
    const auto result = harness::undelete("--partitions " + quote(image));
    ASSERT_EQ(result.status, 0);
    const auto rows = harness::table(result.out);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{
                           "row", "filesystem", "type", "start_cylinder", "start_head",
                           "start_sector", "end_cylinder", "end_head", "end_sector", "capacity",
                           "active", "start", "sectors", "bytes", "sector_size", "origin"}));
    EXPECT_EQ(rows[1], expectedRow(0, "FAT32", "0C", true, 2048, 131072));
    EXPECT_EQ(rows[2], expectedRow(1, "NTFS", "07", false, 133120, 131072));
    EXPECT_EQ(rows[3], expectedRow(2, "FAT32", "0B", false, 266240, 131072));
    EXPECT_EQ(rows[4], expectedRow(3, "NTFS", "07", false, 399360, 131072));

    const auto json = harness::undelete("--partitions --json " + quote(image));
    ASSERT_EQ(json.status, 0);
    const auto lines = harness::split(json.out, '\n');
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "{\"row\":0,\"filesystem\":\"FAT32\",\"type\":\"0C\",\"active\":true,"
                        "\"start\":2048,\"sectors\":131072,\"bytes\":67108864,\"sector_size\":512,"
                        "\"origin\":\"table\"}");
    EXPECT_EQ(lines[3], "{\"row\":3,\"filesystem\":\"NTFS\",\"type\":\"07\",\"active\":false,"
                        "\"start\":399360,\"sectors\":131072,\"bytes\":67108864,\"sector_size\":512,"
                        "\"origin\":\"table\"}");
}

TEST(PartitionsCommand, MissingOrUnreadableDiskFailsWithAReason) {
    harness::TempDir dir;
    auto missing = harness::run("LC_ALL=C " + std::string(UNDELETE_BINARY) + " --partitions " +
                                quote(dir.file("nothing.img")) + " 2>&1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("No such file"), std::string::npos) << missing.out;

    // Neither a folder nor a FIFO (whose first read would hang) is a disk.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.path(), fifo, std::string("/dev/null")}) {
        auto refused = harness::run("LC_ALL=C timeout 20 " + std::string(UNDELETE_BINARY) +
                                    " --partitions " + quote(path) + " 2>&1");
        EXPECT_EQ(refused.status, 1) << path;
        EXPECT_NE(refused.out.find("not a disk or a disk image file"), std::string::npos)
            << refused.out;
    }

    if (geteuid() != 0 || !harness::haveTool("setpriv")) return;
    const std::string nobody = harness::programAsNobody(dir);
    const std::string locked = dir.file("locked.img");
    harness::run("truncate -s 1M " + quote(locked) + " && chmod 600 " + quote(locked));
    auto denied = harness::run("LC_ALL=C " + nobody + " --partitions " + quote(locked) + " 2>&1");
    EXPECT_EQ(denied.status, 1);
    EXPECT_NE(denied.out.find("Permission denied (reading a disk needs root: run as root)"),
              std::string::npos)
        << denied.out;
    // Root is not told to become root.
    harness::run("chmod 000 " + quote(locked));
    auto root = harness::undelete("--partitions " + quote(locked) + " 2>&1");
    EXPECT_EQ(root.out.find("root"), std::string::npos) << root.out;
}

TEST(PartitionsCommand, UsageErrorsExitWithTwo) {
    EXPECT_EQ(harness::run(std::string(UNDELETE_BINARY) + " --no-such-option 2>/dev/null").status,
              2);
    EXPECT_EQ(harness::run(std::string(UNDELETE_BINARY) +
                           " --scan 0 --save 1 /dev/null 2>/dev/null")
                  .status,
              2);  // --save needs --output
    // Numbers are non-negative decimal integers, nothing else.
    for (const char* bad : {"-1", "0x1", "1e3", "+1", "1,", "99999999999999999999999"}) {
        EXPECT_EQ(harness::run(std::string(UNDELETE_BINARY) + " --scan " + quote(bad) +
                               " /dev/null 2>/dev/null")
                      .status,
                  2)
            << bad;
    }
    const auto version = harness::run(std::string(UNDELETE_BINARY) + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("undelete ", 0), 0u) << version.out;
    const auto help = harness::undelete("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* words : {"Exit status", "row index name time size bytes created path state origin",
                              "--save-all", "--json"}) {
        EXPECT_NE(help.out.find(words), std::string::npos) << words;
    }
}

TEST(PartitionsCommand, ImageWithoutAPartitionTableListsNothingAndSaysSo) {
    harness::TempDir dir;
    const std::string image = dir.file("zero.img");
    const std::string errors = dir.file("errors.txt");
    harness::run("truncate -s 1M " + quote(image));
    const auto result = harness::run("LANGUAGE= LC_ALL=C.UTF-8 " + std::string(UNDELETE_BINARY) +
                                     " --partitions " + quote(image) + " 2>" + quote(errors));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(harness::table(result.out).size(), 1u);  // the header alone
    EXPECT_NE(harness::readFile(errors).find("no partition table found"), std::string::npos)
        << harness::readFile(errors);
}

}  // namespace
