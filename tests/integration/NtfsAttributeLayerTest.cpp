// The NTFS attribute layer end to end on volumes ntfs-3g wrote: compressed
// files (and one with a damaged unit), a deleted file whose name and run list lie in extension records,
// and a table whose own run list continues in extension records. Every
// listed file must be what the original was (or what The Sleuth Kit's
// `icat -r` gives, where it gives the right bytes), with its name and
// folder, and the scan must cover the whole table (exit 0, nothing told).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Harness.h"
#include "common/Bytes.h"
#include "ntfs/MftRecord.h"

using harness::quote;

namespace {

// Row → (catalogue index → name, path, state).
using Listing = std::map<std::string, std::vector<std::string>>;

// Scans `row` of `image`: exit status 0 and nothing on standard error.
Listing scan(const harness::FixtureImage& built, const std::string& row) {
    const std::string errors = built.dir->file("scan.err");
    const auto result = harness::run(std::string("LANG=C ") + UNDELETE_BINARY + " --scan " + row +
                                     " " + quote(built.image()) + " 2>" + quote(errors));
    EXPECT_EQ(result.status, 0) << harness::readFile(errors);
    EXPECT_EQ(harness::readFile(errors), "");
    Listing listed;
    const auto rows = harness::table(result.out);
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].size() < 9) continue;
        listed[rows[i][1]] = {rows[i][2], rows[i][7], rows[i][8]};
    }
    return listed;
}

// Saves every listed file of `row` under `folder` (below their paths).
void saveAll(const harness::FixtureImage& built, const std::string& row,
             const std::string& folder) {
    harness::run("mkdir -p " + quote(folder));
    const auto result = harness::undelete("--scan " + row + " --save-all --output " +
                                          quote(folder) + " " + quote(built.image()) + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.out;
}

// What The Sleuth Kit gives for record `record` of the partition at sector `start`.
std::string icat(const harness::FixtureImage& built, uint64_t start, const std::string& record) {
    return harness::run("icat -r -o " + std::to_string(start) + " " + quote(built.image()) + " " +
                        record)
        .out;
}

// The records fls lists as deleted files with a name (not its nameless
// orphans), each with its path.
std::map<std::string, std::string> flsDeleted(const harness::FixtureImage& built, uint64_t start) {
    std::map<std::string, std::string> found;
    const auto out = harness::run("fls -rdp -o " + std::to_string(start) + " " +
                                  quote(built.image()))
                         .out;
    for (const std::string& line : harness::split(out, '\n')) {
        const size_t star = line.find("* ");
        const size_t tab = line.find('\t');
        if (star == std::string::npos || tab == std::string::npos) continue;
        const std::string path = line.substr(tab + 1);
        if (path.rfind("$OrphanFiles/", 0) == 0) continue;
        found[line.substr(star + 2, line.find('-', star) - star - 2)] = "/" + path;
    }
    return found;
}

class NtfsAttributeLayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        compressed = harness::makeFixtureImage("make-ntfs-compressed-image.sh");
        fragmented = harness::makeFixtureImage("make-ntfs-fragmented-image.sh");
    }
    static void TearDownTestSuite() {
        compressed = harness::FixtureImage();
        fragmented = harness::FixtureImage();
    }

    void SetUp() override {
        for (const auto* built : {&compressed, &fragmented}) {
            if (!built->skipReason.empty()) GTEST_SKIP() << built->skipReason;
            ASSERT_TRUE(built->failure.empty()) << built->failure;
        }
        if (!harness::haveTool("icat") || !harness::haveTool("fls")) GTEST_SKIP() << "no sleuthkit";
    }

    static inline harness::FixtureImage compressed;
    static inline harness::FixtureImage fragmented;
};

TEST_F(NtfsAttributeLayer, CompressedFilesComeBackDecoded) {
    const Listing listed = scan(compressed, "0");
    ASSERT_EQ(compressed.manifest.size(), 4u);
    const std::string out = compressed.dir->file("saved");
    saveAll(compressed, "0", out);
    for (const auto& f : compressed.manifest) {  // record, name, folder, size, original
        const auto row = listed.find(f[0]);
        ASSERT_NE(row, listed.end()) << f[1];
        EXPECT_EQ(row->second[0], f[1]);
        EXPECT_EQ(row->second[1], f[2]);
        const std::string saved = harness::readFile(out + f[2] + f[1]);
        EXPECT_EQ(saved.size(), std::stoull(f[3])) << f[1];
        EXPECT_TRUE(saved == harness::readFile(compressed.dir->file(f[4]))) << f[1];
        EXPECT_TRUE(saved == icat(compressed, 2048, f[0])) << f[1] << " differs from icat -r";
    }
}

// The first compressed chunk of text.txt's second unit made to open with
// a back-reference: that unit is saved as zeros and counted, the rest of
// the file as it was, and the save is told as a lossy one (exit 1).
TEST_F(NtfsAttributeLayer, ADamagedCompressionUnitIsSavedAsZerosAndTold) {
    std::string record, original;
    for (const auto& f : compressed.manifest) {
        if (f[1] == "text.txt") record = f[0], original = compressed.dir->file(f[4]);
    }
    ASSERT_FALSE(record.empty());
    const std::string image = compressed.dir->file("damaged.img");
    ASSERT_EQ(harness::run("cp " + quote(compressed.image()) + " " + quote(image)).status, 0);
    std::fstream disk(image, std::ios::in | std::ios::out | std::ios::binary);
    const auto at = [&](uint64_t offset, size_t length) {
        std::vector<uint8_t> bytes(length);
        disk.seekg(static_cast<std::streamoff>(offset));
        disk.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
        return bytes;
    };
    constexpr uint64_t kPartition = 2048 * 512, kUnit = 16 * 4096;
    const auto boot = at(kPartition, 512);
    const uint64_t cluster = uint64_t{undelete::le16(&boot[11])} * boot[13];
    ASSERT_EQ(cluster, 4096u);
    const auto raw = at(kPartition + undelete::le64(&boot[48]) * cluster + std::stoull(record) * 1024, 1024);
    undelete::MftRecordInfo info;
    ASSERT_TRUE(undelete::parseRecord(raw.data(), raw.size(), true, info));
    ASSERT_EQ(info.dataSize, 300000u);
    // The cluster that holds VCN 16, where the second unit begins.
    uint64_t lcn = 0, vcn = 0, unitStart = 0;
    for (const undelete::RunListNode& run : info.runs) {
        lcn += static_cast<uint64_t>(run.runOffset);
        if (!run.sparse && unitStart == 0 && vcn + run.runLength > 16) unitStart = lcn + 16 - vcn;
        vcn += run.runLength;
    }
    ASSERT_NE(unitStart, 0u);
    const uint64_t flags = kPartition + unitStart * cluster + 2;
    const uint8_t backReference = at(flags, 1)[0] | 1;
    disk.seekp(static_cast<std::streamoff>(flags));
    disk.write(reinterpret_cast<const char*>(&backReference), 1);
    disk.close();

    const std::string out = compressed.dir->file("damaged.txt");
    const auto result = harness::run("LC_ALL=C " + std::string(UNDELETE_BINARY) + " --scan 0 --save " +
                                     record + " --output " + quote(out) + " " + quote(image) + " 2>&1");
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_NE(result.out.find(": 65536 bytes could not be read and were written as zeros"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("compressed data is damaged"), std::string::npos) << result.out;
    std::string expected = harness::readFile(original);
    expected.replace(kUnit, kUnit, std::string(kUnit, '\0'));
    EXPECT_TRUE(harness::readFile(out) == expected);
}

TEST_F(NtfsAttributeLayer, AFileInExtensionRecordsComesBackWithItsNameAndFolder) {
    const Listing listed = scan(fragmented, "0");
    const std::string out = fragmented.dir->file("row0");
    saveAll(fragmented, "0", out);
    int checked = 0;
    for (const auto& f : fragmented.manifest) {  // row, record, name, folder, size, original
        if (f[0] != "0") continue;
        const auto row = listed.find(f[1]);
        ASSERT_NE(row, listed.end()) << f[2];
        EXPECT_EQ(row->second[0], f[2]);
        EXPECT_EQ(row->second[1], f[3]);
        if (f[5] == "-") continue;  // a one-cluster file the movie took part of
        ++checked;
        EXPECT_EQ(row->second[2], "intact");
        EXPECT_TRUE(harness::readFile(out + f[3] + f[2]) ==
                    harness::readFile(fragmented.dir->file(f[5])))
            << f[2];
    }
    EXPECT_EQ(checked, 1);
}

// Every deleted file fls names is listed at its path and saved as it was;
// those past the table's first piece also as icat -r gives them.
TEST_F(NtfsAttributeLayer, ATableInExtensionRecordsIsScannedWhole) {
    const Listing listed = scan(fragmented, "1");
    const auto peer = flsDeleted(fragmented, 67584);
    EXPECT_EQ(peer.size(), 243u);
    EXPECT_EQ(listed.size(), peer.size());
    for (const auto& [record, path] : peer) {
        const auto row = listed.find(record);
        ASSERT_NE(row, listed.end()) << path;
        EXPECT_EQ(row->second[1] + row->second[0], path);
    }
    const std::string out = fragmented.dir->file("row1");
    saveAll(fragmented, "1", out);
    int pastFirstPiece = 0;
    for (const auto& f : fragmented.manifest) {  // row, record, name, folder, size, original
        if (f[0] != "1") continue;
        const std::string saved = harness::readFile(out + f[3] + f[2]);
        EXPECT_TRUE(saved == harness::readFile(fragmented.dir->file(f[5]))) << f[3] << f[2];
        // Record 0's own piece maps 518 clusters: 2,072 records.
        if (std::stoull(f[1]) < 2072) continue;
        ++pastFirstPiece;
        EXPECT_TRUE(saved == icat(fragmented, 67584, f[1])) << f[3] << f[2] << " differs from icat";
    }
    EXPECT_GT(pastFirstPiece, 90);
}

}  // namespace
