#include <gtest/gtest.h>

#include "Harness.h"

using harness::quote;

namespace {

// Cylinder/head/sector of an address on a 255-head, 63-sector disk.
std::vector<std::string> chs(uint64_t lba) {
    return {std::to_string(lba / 16065), std::to_string(lba % 16065 / 63),
            std::to_string(lba % 63 + 1)};
}

std::vector<std::string> expectedRow(int number, const std::string& name, const std::string& code,
                                     uint64_t first, uint64_t count) {
    std::vector<std::string> row = {std::to_string(number), name, code};
    for (const auto& v : chs(first)) row.push_back(v);
    for (const auto& v : chs(first + count - 1)) row.push_back(v);
    row.push_back("0.1 GB");  // 64 MiB
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
    EXPECT_EQ(rows[0], (std::vector<std::string>{"序号", "文件系统", "标识", "起始柱面", "磁头",
                                                 "扇区", "终止柱面", "磁头", "扇区", "容量"}));
    EXPECT_EQ(rows[1], expectedRow(0, "FAT32(活动)", "0C", 2048, 131072));
    EXPECT_EQ(rows[2], expectedRow(1, "NTFS", "07", 133120, 131072));
    EXPECT_EQ(rows[3], expectedRow(2, "FAT32", "0B", 266240, 131072));
    EXPECT_EQ(rows[4], expectedRow(3, "NTFS", "07", 399360, 131072));
}

TEST(PartitionsCommand, MissingOrUnreadableDiskFailsWithAReason) {
    harness::TempDir dir;
    auto missing = harness::run(std::string(UNDELETE_BINARY) + " --partitions " +
                                quote(dir.file("nothing.img")) + " 2>&1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("No such file"), std::string::npos) << missing.out;

    auto folder = harness::run(std::string(UNDELETE_BINARY) + " --partitions " +
                               quote(dir.path()) + " 2>&1");
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.out.find("cannot read"), std::string::npos) << folder.out;

    if (geteuid() != 0 || !harness::haveTool("setpriv")) return;
    const std::string locked = dir.file("locked.img");
    harness::run("truncate -s 1M " + quote(locked) + " && chmod 600 " + quote(locked) +
                 " && chmod 755 " + quote(dir.path()));
    auto denied = harness::run("setpriv --reuid=65534 --regid=65534 --clear-groups " +
                               std::string(UNDELETE_BINARY) + " --partitions " + quote(locked) +
                               " 2>&1");
    EXPECT_EQ(denied.status, 1);
    EXPECT_NE(denied.out.find("permission denied: run as root"), std::string::npos)
        << denied.out;
}

TEST(PartitionsCommand, UsageErrorsExitWithTwo) {
    EXPECT_EQ(harness::run(std::string(UNDELETE_BINARY) + " --no-such-option 2>/dev/null").status,
              2);
    EXPECT_EQ(harness::run(std::string(UNDELETE_BINARY) +
                           " --scan 0 --save 1 /dev/null 2>/dev/null")
                  .status,
              2);  // --save needs --output
}

TEST(PartitionsCommand, ImageWithoutAPartitionTableListsNothingAndSaysSo) {
    harness::TempDir dir;
    const std::string image = dir.file("zero.img");
    const std::string errors = dir.file("errors.txt");
    harness::run("truncate -s 1M " + quote(image));
    const auto result = harness::undelete("--partitions " + quote(image) + " 2>" + quote(errors));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(harness::table(result.out).size(), 1u);  // the header alone
    EXPECT_EQ(harness::readFile(errors), "未找到分区表\n");
}

}  // namespace
