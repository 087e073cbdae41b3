#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "disk/images/ContainerDrive.h"

using namespace undelete;

namespace {

// The disk inside a container, as the library would give it.
class FakeContainer : public ContainerReader {
public:
    explicit FakeContainer(uint64_t bytes) : bytes_(bytes) {}
    uint64_t mediaBytes() const override { return bytes_; }
    std::vector<std::string> files() const override { return {}; }
    bool read(uint64_t offset, uint8_t* buffer, size_t length) override {
        std::lock_guard<std::mutex> hold(lock);
        ++reads;
        readers[offset].push_back(std::this_thread::get_id());
        if (fails || (offset == failsOnceAt && readers[offset].size() == 1)) return false;
        for (size_t i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>((offset + i) / 512);
        return true;
    }
    std::vector<std::thread::id> readersOf(uint64_t offset) {
        std::lock_guard<std::mutex> hold(lock);
        return readers[offset];
    }
    std::mutex lock;
    int reads = 0;
    bool fails = false;
    uint64_t failsOnceAt = UINT64_MAX;
    std::map<uint64_t, std::vector<std::thread::id>> readers;

private:
    uint64_t bytes_;
};

// As strict as a raw disk: only whole sectors at aligned offsets reach the
// library; a read reaching past the disk's end gives what lies before it;
// a failed library read gives nothing.
TEST(ContainerDrive, PassesOnlyWholeAlignedSectorsOfTheDiskInside) {
    auto fake = std::make_unique<FakeContainer>(4 * 512 + 100);
    FakeContainer& library = *fake;
    ContainerDrive drive(std::make_shared<OpenedContainer>(std::move(fake)), 512);
    DriveGeometry geometry;
    ASSERT_TRUE(drive.queryGeometry(geometry));
    EXPECT_EQ(geometry.bytesPerSector, 512u);
    EXPECT_EQ(drive.sizeInBytes(), 4u * 512 + 100);

    std::vector<uint8_t> buffer(2048, 0xEE);
    EXPECT_EQ(drive.readAt(1, buffer.data(), 512), 0u);
    EXPECT_EQ(drive.readAt(512, buffer.data(), 100), 0u);
    EXPECT_EQ(library.reads, 0);

    EXPECT_EQ(drive.readAt(512, buffer.data(), 1024), 1024u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[1023], 2);
    EXPECT_EQ(drive.readAt(4 * 512, buffer.data(), 1024), 100u);
    EXPECT_EQ(drive.readAt(5 * 512, buffer.data(), 512), 0u);
    EXPECT_EQ(library.reads, 2);

    library.fails = true;
    EXPECT_EQ(drive.readAt(0, buffer.data(), 512), 0u);
}

// After a large read the next piece is read on another thread while the
// caller works; the caller gets it whole, and reads it itself when that
// read failed.
TEST(ContainerDrive, ReadsTheNextLargePieceAhead) {
    const uint32_t piece = ReadAhead::kSmallest;
    auto fake = std::make_unique<FakeContainer>(4ull * piece);
    FakeContainer& library = *fake;
    library.failsOnceAt = 2ull * piece;
    ContainerDrive drive(std::make_shared<OpenedContainer>(std::move(fake)), 512);
    std::vector<uint8_t> buffer(piece);
    const auto holds = [&buffer](uint64_t offset) {
        for (size_t i = 0; i < buffer.size(); i += 511) {
            if (buffer[i] != static_cast<uint8_t>((offset + i) / 512)) return false;
        }
        return true;
    };
    const std::thread::id caller = std::this_thread::get_id();
    for (const uint64_t offset : {0ull, 1ull * piece, 2ull * piece}) {
        ASSERT_EQ(drive.readAt(offset, buffer.data(), piece), piece);
        EXPECT_TRUE(holds(offset)) << offset;
    }
    EXPECT_EQ(library.readersOf(0), std::vector<std::thread::id>{caller});
    const auto second = library.readersOf(piece);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0], caller);
    const auto third = library.readersOf(2ull * piece);
    ASSERT_EQ(third.size(), 2u);
    EXPECT_NE(third[0], caller);
    EXPECT_EQ(third[1], caller);
}

}  // namespace
