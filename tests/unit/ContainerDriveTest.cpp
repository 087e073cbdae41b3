#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "disk/images/ContainerDrive.h"

using namespace undelete;

namespace {

// The disk inside a container, as the library would give it.
class FakeContainer : public ContainerReader {
public:
    explicit FakeContainer(uint64_t bytes) : bytes_(bytes) {}
    uint64_t mediaBytes() const override { return bytes_; }
    bool read(uint64_t offset, uint8_t* buffer, size_t length) override {
        ++reads;
        if (fails) return false;
        for (size_t i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>((offset + i) / 512);
        return true;
    }
    int reads = 0;
    bool fails = false;

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

}  // namespace
