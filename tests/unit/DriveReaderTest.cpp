#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "disk/DriveReader.h"
#include "support/MemoryDisk.h"

using namespace undelete;
using undelete::test::MemoryDisk;
using undelete::test::MessageCapture;

namespace {

TEST(DriveReader, OpensWithGeometryAndReadsSectorsAndBytes) {
    MemoryDisk disk(8 * 512);
    for (size_t i = 0; i < disk.bytes().size(); ++i) disk.bytes()[i] = static_cast<uint8_t>(i / 512);
    MessageCapture messages;
    DriveReader reader(disk.opener(), messages.sink());
    ASSERT_TRUE(reader.open());
    EXPECT_EQ(reader.bytesPerSector(), 512u);
    EXPECT_EQ(reader.sectorsPerCylinder(), 255u * 63u);
    uint8_t buffer[1024];
    ASSERT_TRUE(reader.readSectors(2, buffer, 2));
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[1023], 3);
    ASSERT_TRUE(reader.readBytes(512 * 5 + 3, buffer, 10));
    EXPECT_EQ(buffer[0], 5);
    EXPECT_EQ(disk.image().locks.load(), disk.image().unlocks.load());
}

// The device refuses anything but whole sectors (as a raw disk does): any
// byte range still arrives, in at most three reads, the middle whole.
TEST(DriveReader, ServesAnyRangeThroughWholeSectors) {
    for (const uint32_t sector : {512u, 4096u}) {
        MemoryDisk disk(8 * 4096, sector);
        for (size_t i = 0; i < disk.bytes().size(); ++i) disk.bytes()[i] = static_cast<uint8_t>(i * 7 + i / 251);
        MessageCapture messages;
        DriveReader reader(disk.opener(), messages.sink());
        ASSERT_TRUE(reader.open());
        struct Range { uint64_t offset; uint32_t length; int reads; };
        for (const Range r : {Range{sector - 3, 3 * sector + 10, 3}, Range{sector + 5, 7, 1},
                              Range{2 * sector, sector + 1, 2}, Range{3, sector, 2}}) {
            std::vector<uint8_t> buffer(r.length);
            const int before = disk.image().reads.load();
            ASSERT_TRUE(reader.readBytes(r.offset, buffer.data(), r.length)) << r.offset;
            EXPECT_EQ(disk.image().reads.load() - before, r.reads) << r.offset;
            EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), disk.at(r.offset))) << r.offset;
        }
        EXPECT_EQ(disk.image().refusedReads.load(), 0);
        // The last sector's tail is as readable as its head; past it, nothing.
        uint8_t tail[5];
        EXPECT_TRUE(reader.readBytes(8 * 4096 - 5, tail, 5));
        EXPECT_FALSE(reader.readBytes(8 * 4096 - 5, tail, 6));
    }
}

TEST(DriveReader, RefusesEmptyRequestsWithoutTouchingTheDevice) {
    MemoryDisk disk(4 * 512);
    MessageCapture messages;
    DriveReader reader(disk.opener(), messages.sink());
    uint8_t buffer[512];
    EXPECT_FALSE(reader.readSectors(0, buffer, 1));  // not open
    ASSERT_TRUE(reader.open());
    EXPECT_FALSE(reader.readSectors(0, buffer, 0));
    EXPECT_FALSE(reader.readSectors(0, nullptr, 1));
    EXPECT_FALSE(reader.readBytes(0, buffer, 0));
    EXPECT_FALSE(reader.readBytes(0, nullptr, 1));
    EXPECT_EQ(disk.image().reads.load(), 0);
    EXPECT_TRUE(messages.messages().empty());
}

TEST(DriveReader, ShortReadAtTheEndIsReportedAndLeavesTheBufferAlone) {
    MemoryDisk disk(4 * 512);
    MessageCapture messages;
    std::vector<uint64_t> failedAt;
    DriveReader reader(disk.opener(), messages.sink(),
                       [&](uint64_t offset, uint32_t) { failedAt.push_back(offset); });
    ASSERT_TRUE(reader.open());
    EXPECT_EQ(reader.deviceBytes(), 4u * 512);
    uint8_t buffer[1024];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_FALSE(reader.readSectors(3, buffer, 2));
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_FALSE(reader.readBytes(4 * 512 - 4, buffer, 8));
    ASSERT_EQ(messages.messages().size(), 2u);
    EXPECT_EQ(messages.messages()[0], "ReadFile() Error");
    EXPECT_EQ(failedAt, (std::vector<uint64_t>{3 * 512, 4 * 512 - 4}));
    EXPECT_EQ(disk.image().locks.load(), disk.image().unlocks.load());
    EXPECT_TRUE(reader.readSectors(3, buffer, 1));  // still usable
}

TEST(DriveReader, OffsetsAboveFourGibibytesAreNotCut) {
    MemoryDisk disk(4 * 512);
    MessageCapture messages;
    DriveReader reader(disk.opener(), messages.sink());
    ASSERT_TRUE(reader.open());
    uint8_t buffer[512];
    // Sector 2^23 + 1 lies at 4 GiB + 512: cut to 32 bits it would read
    // sector 1, which exists; at its true offset there is nothing.
    EXPECT_FALSE(reader.readSectors((1ull << 23) + 1, buffer, 1));
    EXPECT_FALSE(reader.readBytes((1ull << 32) + 512, buffer, 16));
    EXPECT_EQ(messages.messages().size(), 2u);
}

TEST(DriveReader, GeometryFailureClosesTheHandle) {
    MemoryDisk disk(4 * 512);
    disk.image().geometryFails = true;
    MessageCapture messages;
    DriveReader reader(disk.opener(), messages.sink());
    EXPECT_FALSE(reader.open());
    EXPECT_FALSE(reader.isOpen());
    DriveReader nothing(nullptr, messages.sink());  // no disk to open
    EXPECT_FALSE(nothing.open());
}

}  // namespace

namespace {

TEST(DriveReader, AViewNeverReachesPastTheDevice) {
    MemoryDisk disk(4 * 512);
    for (size_t i = 0; i < disk.bytes().size(); ++i) disk.bytes()[i] = static_cast<uint8_t>(i);
    MessageCapture messages;
    DriveReader reader(disk.opener(), messages.sink());
    EXPECT_EQ(reader.view(0, 16), nullptr);  // not open
    ASSERT_TRUE(reader.open());
    EXPECT_EQ(reader.view(0, 16), nullptr);  // a backend without views
    disk.image().offersViews = true;
    const auto whole = reader.view(2040, 8);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->length(), 8u);
    EXPECT_EQ(std::memcmp(whole->bytes(), disk.at(2040), 8), 0);
    EXPECT_EQ(reader.view(2041, 8), nullptr);
    EXPECT_EQ(reader.view(2048, 1), nullptr);
    EXPECT_EQ(reader.view(0, 0), nullptr);
    EXPECT_EQ(reader.view(UINT64_MAX - 3, 8), nullptr);  // no wrap to the start
    EXPECT_EQ(reader.view(8, UINT64_MAX), nullptr);
    EXPECT_EQ(disk.image().views.load(), 1);
    EXPECT_TRUE(messages.messages().empty());
}

}  // namespace
