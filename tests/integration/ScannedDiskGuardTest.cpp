// The guard against saving onto the disk being recovered, where it is
// reached by a way round: through ".." after a folder still to be made,
// with the disk scanned as the image file a loop device reads, and through
// a container file stored on it and mounted in turn. Each save is refused
// without --force and makes nothing. Root only: loop devices and mounts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>

#include "Harness.h"

using harness::quote;

namespace {

class ScannedDiskGuard : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (geteuid() == 0) built = harness::makeFixtureImage("make-ntfs-image.sh");
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    // A copy of the NTFS disk on a loop device, its first partition (row 0)
    // mounted with ntfs-3g: saving there writes to the disk being read.
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root for loop devices and mounts";
        for (const char* tool : {"losetup", "partx", "ntfs-3g"}) {
            if (!harness::haveTool(tool)) GTEST_SKIP() << tool << " is missing";
        }
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        copy = dir.file("disk.img");
        ASSERT_EQ(harness::run("cp " + quote(built.image()) + " " + quote(copy) + " && chmod u+w " +
                               quote(copy))
                      .status,
                  0);
        loop = std::make_unique<harness::LoopDevice>(copy);
        mount = std::make_unique<harness::Mounted>("ntfs-3g " + quote(loop->partition(1)),
                                                   dir.file("mnt"));
        ASSERT_TRUE(mount->ready()) << "could not mount the disk's first partition";
    }
    void TearDown() override {
        mount.reset();  // before its device goes
        loop.reset();
    }

    // Saves hello.txt of row 0 of `disk` into the folder `output`.
    static harness::Result save(const std::string& disk, const std::string& output) {
        return harness::undelete("--scan 0 --save-all --match hello.txt --output " +
                                 quote(output) + " " + quote(disk) + " 2>&1");
    }
    static void refused(const harness::Result& result, const std::string& made) {
        EXPECT_EQ(result.status, 1) << result.out;
        EXPECT_NE(result.out.find("lies on the disk being recovered"), std::string::npos)
            << result.out;
        EXPECT_EQ(access(made.c_str(), F_OK), -1) << made << " was made";
    }

    static inline harness::FixtureImage built;
    harness::TempDir dir;
    std::string copy;
    std::unique_ptr<harness::LoopDevice> loop;
    std::unique_ptr<harness::Mounted> mount;
};

// The folders are made as the path leads: "missing", then "missing/.."
// (this folder), then "mnt/out" on the disk.
TEST_F(ScannedDiskGuard, AFolderReachedThroughDotDotAfterAMissingOneIsChecked) {
    refused(save(loop->device(), dir.file("missing/../mnt/out")), mount->file("out"));
    EXPECT_EQ(access(dir.file("missing").c_str(), F_OK), -1);
    // The same folder, forced: the refusal was the guard's.
    EXPECT_EQ(harness::undelete("--scan 0 --save-all --match hello.txt --force --output " +
                                quote(dir.file("missing/../mnt/out")) + " " +
                                quote(loop->device()) + " 2>/dev/null")
                  .status,
              0);
    EXPECT_EQ(access(mount->file("out/hello.txt").c_str(), F_OK), 0);
}

// The image file scanned by its name while a loop device reads it and its
// partition is mounted.
TEST_F(ScannedDiskGuard, AnImageFileThatALoopDeviceReadsIsTheDisk) {
    refused(save(copy, mount->file("out")), mount->file("out"));
}

// A file stored on the scanned disk's file system, mounted through a loop
// device of its own: its files are written into clusters of the disk.
TEST_F(ScannedDiskGuard, AContainerFileStoredOnTheDiskIsOnTheDisk) {
    if (!harness::haveTool("mkfs.ext2")) GTEST_SKIP() << "mkfs.ext2 is missing";
    const std::string container = mount->file("container.img");
    ASSERT_EQ(harness::run("truncate -s 2M " + quote(container) + " && mkfs.ext2 -q -F " +
                           quote(container))
                  .status,
              0);
    harness::LoopDevice inner(container);
    harness::Mounted inside("mount -t ext2 " + quote(inner.device()), dir.file("inner"));
    ASSERT_TRUE(inside.ready()) << "could not mount the container";
    refused(save(loop->device(), inside.file("out")), inside.file("out"));
}

}  // namespace
