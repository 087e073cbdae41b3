// Disk images kept in container formats, made from one raw disk (GPT with
// FAT16, NTFS and FAT32 partitions, each with a deleted file) by Debian's
// own tools: qemu-img for VHD, VHDX, VMDK and QCOW2, ewfacquire for E01.
// Each must list, scan and save exactly as the raw disk does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Harness.h"

using harness::quote;

namespace {

struct Container {
    std::string file;     // what the program is given
    std::string command;  // makes it from RAW, in the fixture's folder
};

// Named unlike their formats: the signature tells, not the extension.
const std::vector<Container> kContainers = {
    {"vhd.img", "qemu-img convert -O vpc RAW vhd.img"},
    {"vhdx.img", "qemu-img convert -O vhdx RAW vhdx.img"},
    {"vmdk.img", "qemu-img convert -O vmdk RAW vmdk.img"},
    // A descriptor naming its extent files.
    {"extents.vmdk", "qemu-img convert -O vmdk -o subformat=twoGbMaxExtentSparse RAW extents.vmdk"},
    {"qcow2.img", "qemu-img convert -O qcow2 RAW qcow2.img"},
    // An overlay that changed nothing: every read falls through to its base.
    {"overlay.img", "qemu-img convert -O qcow2 RAW base.qcow2 && "
                    "qemu-img create -q -f qcow2 -b base.qcow2 -F qcow2 overlay.img"},
    {"fast.E01", "ewfacquire -u -q -t fast -c fast RAW"},
    // Uncompressed in three segments, opened by the first.
    {"split.E01", "ewfacquire -u -q -t split -c none -S 32MiB RAW"},
};

class ContainerImages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        built = harness::makeFixtureImage("make-gpt-image.sh");
        if (!built.skipReason.empty() || !built.failure.empty()) return;
        for (const Container& container : kContainers) {
            std::string command = container.command;
            command.replace(command.find("RAW"), 3, quote(built.image()));
            const auto made = harness::run("cd " + quote(built.dir->path()) + " && " + command +
                                           " >/dev/null 2>&1");
            if (made.status != 0) failure += container.command + " failed\n";
        }
        harness::run("chmod 0444 " + quote(built.dir->path()) + "/*.img " +
                     quote(built.dir->path()) + "/*.E0? " + quote(built.dir->path()) + "/*.vmdk " +
                     quote(built.dir->path()) + "/*.qcow2");
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!harness::haveTool("qemu-img") || !harness::haveTool("ewfacquire")) {
            GTEST_SKIP() << "qemu-img or ewfacquire missing (qemu-utils, ewf-tools)";
        }
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_TRUE(failure.empty()) << failure;
    }

    static std::string path(const std::string& name) { return built.dir->file(name); }

    // The program on `disk` in English, its standard error with its output.
    static harness::Result program(const std::string& arguments, const std::string& disk) {
        return harness::run("LANGUAGE= LC_ALL=C.UTF-8 " + std::string(UNDELETE_BINARY) + " " +
                            arguments + " " + quote(disk) + " 2>&1");
    }

    static inline harness::FixtureImage built;
    static inline std::string failure;
};

TEST_F(ContainerImages, ListScanAndSaveExactlyAsTheRawDisk) {
    const std::string raw = built.image();
    const auto rows = program("--partitions", raw);
    ASSERT_EQ(rows.status, 0) << rows.out;
    ASSERT_EQ(harness::table(rows.out).size(), 4u) << rows.out;  // header and three rows
    std::vector<harness::Result> scans;
    for (int row = 0; row < 3; ++row) scans.push_back(program("--scan " + std::to_string(row), raw));

    for (const Container& container : kContainers) {
        SCOPED_TRACE(container.command);
        const std::string disk = path(container.file);
        const std::string digest = harness::sha256Of(disk);
        const auto listed = program("--partitions", disk);
        EXPECT_EQ(listed.status, 0);
        EXPECT_EQ(listed.out, rows.out);
        for (int row = 0; row < 3; ++row) {
            const auto scan = program("--scan " + std::to_string(row), disk);
            EXPECT_EQ(scan.status, scans[row].status) << "row " << row;
            EXPECT_EQ(scan.out, scans[row].out) << "row " << row;
        }
        // Each deleted file of the disk, saved through the container.
        for (const auto& expected : built.manifest) {
            if (expected.size() != 5u || expected[0] != "disk.img") continue;
            std::string index;
            for (const auto& listedFile : harness::table(scans[std::stoi(expected[1])].out)) {
                if (listedFile.size() > 2 && listedFile[2] == expected[2]) index = listedFile[1];
            }
            ASSERT_FALSE(index.empty()) << expected[2];
            const auto saved = harness::run(
                std::string(UNDELETE_BINARY) + " --scan " + expected[1] + " --save " + index +
                " --output - " + quote(disk) + " 2>/dev/null");
            EXPECT_EQ(saved.status, 0) << expected[2];
            EXPECT_TRUE(saved.out == harness::readFile(path(expected[4]))) << expected[2];
        }
        EXPECT_EQ(harness::sha256Of(disk), digest) << disk << " was written to";
    }

    // Every file the disk is read from is the disk: a save onto a later
    // segment, a parent or an extent is refused, even with --force.
    for (const auto& [disk, part] : std::vector<std::pair<std::string, std::string>>{
             {"split.E01", "split.E02"}, {"overlay.img", "base.qcow2"},
             {"extents.vmdk", "extents-s001.vmdk"}}) {
        const std::string digest = harness::sha256Of(path(part));
        const auto refused = program("--scan 2 --save 0 --force --output " + quote(path(part)),
                                     path(disk));
        EXPECT_EQ(refused.status, 1) << refused.out;
        EXPECT_NE(refused.out.find("it is the disk being read"), std::string::npos) << refused.out;
        EXPECT_EQ(harness::sha256Of(path(part)), digest) << part << " was written to";
    }
}

// A container that cannot be read is refused before anything is listed,
// naming its format and why; a chunk whose checksum fails is a failed read,
// never data.
TEST_F(ContainerImages, ADamagedContainerIsRefusedWithItsReason) {
    const std::string dir = quote(built.dir->path());
    struct Case {
        std::string file, make, message;
    };
    const std::vector<Case> cases = {
        {"version.img", "cp qcow2.img version.img && chmod u+w version.img && printf '\\0\\0\\0c' | "
                        "dd of=version.img bs=1 seek=4 conv=notrunc status=none",
         "cannot read this QCOW2 image: it is damaged or of a kind not supported (unsupported "
         "format version: 99)"},
        {"cut.E01", "head -c 300000 fast.E01 > cut.E01",
         "cannot read this E01 image: it is damaged or of a kind not supported (segment files "
         "incomplete or corrupted)"},
        {"headers.img", "cp vhdx.img headers.img && chmod u+w headers.img && dd if=/dev/zero "
                        "of=headers.img bs=64K seek=1 count=2 conv=notrunc status=none",
         "cannot read this VHDX image: it is damaged or of a kind not supported"},
        {"orphan.img", "qemu-img create -q -u -f qcow2 -b gone.qcow2 -F qcow2 orphan.img 1M",
         "cannot read this QCOW2 image: its parent image gone.qcow2 is missing"},
        {"locked.img", "qemu-img create -q --object secret,id=k,data=pass -f qcow2 -o "
                       "encrypt.format=aes,encrypt.key-secret=k locked.img 1M",
         "cannot read this QCOW2 image: it is encrypted"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(harness::run("cd " + dir + " && " + c.make).status, 0) << c.make;
        for (const std::string& arguments : {std::string("--partitions"), std::string("--scan 2")}) {
            const auto refused = program(arguments, path(c.file));
            EXPECT_EQ(refused.status, 1) << c.file;
            EXPECT_EQ(refused.out.rfind("undelete: " + path(c.file) + ": " + c.message, 0), 0u)
                << refused.out;
        }
    }

    // One byte of the deleted FAT32 file's chunk changed in the uncompressed
    // set: reading it fails as a bad sector would, and the scan says so.
    const std::string original = harness::readFile(path("originals/gpt-fat.bin")).substr(0, 64);
    std::string segment = harness::readFile(path("split.E01"));
    const size_t at = segment.find(original);
    ASSERT_NE(at, std::string::npos);
    segment[at + 10] = static_cast<char>(segment[at + 10] ^ 0x55);
    harness::run("mkdir " + dir + "/bad && cp " + dir + "/split.E0? " + dir + "/bad/ && chmod u+w " +
                 dir + "/bad/split.E01");
    {
        std::ofstream out(path("bad/split.E01"), std::ios::binary | std::ios::trunc);
        out.write(segment.data(), static_cast<std::streamsize>(segment.size()));
    }
    const auto scan = program("--scan 2", path("bad/split.E01"));
    EXPECT_EQ(scan.status, 1) << scan.out;
    EXPECT_NE(scan.out.find("failed reads: "), std::string::npos) << scan.out;
}

}  // namespace
