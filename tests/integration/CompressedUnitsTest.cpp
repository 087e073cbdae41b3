// Compressed files as ntfs-3g writes them, decoded unit by unit from the
// raw image with the LZNT1 decoder and the unit layout, against the
// originals: the decoder's truth on real data, before any scanner uses it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Harness.h"
#include "common/Bytes.h"
#include "scan/Lznt1.h"
#include "ntfs/MftRecord.h"

namespace {

using namespace undelete;

constexpr uint64_t kPartition = 2048 * 512;
// ntfs-3g writes every compressed stream with units of 2^4 clusters.
constexpr uint8_t kUnitExponent = 4;

char letter(CompressionUnitKind kind) {
    switch (kind) {
        case CompressionUnitKind::Stored: return 'S';
        case CompressionUnitKind::Compressed: return 'C';
        case CompressionUnitKind::Zeros: return 'Z';
        default: return '?';
    }
}

class CompressedUnits : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        built = harness::makeFixtureImage("make-ntfs-compressed-image.sh");
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(built.manifest.size(), 4u);
        image_.open(built.image(), std::ios::binary);
        ASSERT_TRUE(image_);
        const std::vector<uint8_t> boot = read(kPartition, 512);
        cluster_ = uint64_t{le16(boot.data() + 11)} * boot[13];
        table_ = kPartition + le64(boot.data() + 48) * cluster_;
    }

    std::vector<uint8_t> read(uint64_t offset, uint64_t length) {
        std::vector<uint8_t> bytes(length);
        image_.seekg(static_cast<std::streamoff>(offset));
        image_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
        EXPECT_TRUE(image_) << "read at " << offset;
        return bytes;
    }

    // The stream of a deleted file's record, unit by unit.
    std::string decode(uint64_t record, std::string& kinds) {
        MftRecordInfo info;
        const std::vector<uint8_t> bytes = read(table_ + record * kMftRecordBytes, kMftRecordBytes);
        EXPECT_TRUE(parseRecord(bytes.data(), bytes.size(), true, info));
        EXPECT_TRUE(info.nonResident());
        const uint64_t unitClusters = compressionUnitClusters(kUnitExponent, static_cast<uint32_t>(cluster_));
        // Each cluster of the stream: its place on the disk, or 0 when sparse.
        std::vector<uint64_t> where;
        uint64_t lcn = 0;
        for (const RunListNode& run : info.runs) {
            lcn += static_cast<uint64_t>(run.runOffset);
            for (uint64_t i = 0; i < run.runLength; ++i) where.push_back(run.sparse ? 0 : lcn + i);
        }
        std::string stream;
        std::vector<uint8_t> unit(unitClusters * cluster_);
        for (size_t first = 0; first < where.size(); first += unitClusters) {
            std::vector<Extent> slice;
            std::vector<uint8_t> stored;
            for (size_t c = first; c < std::min(where.size(), first + unitClusters); ++c) {
                slice.push_back(where[c] == 0 ? Extent::sparse(1) : Extent::stored(where[c], 1));
                if (where[c] == 0) continue;
                const std::vector<uint8_t> piece = read(kPartition + where[c] * cluster_, cluster_);
                stored.insert(stored.end(), piece.begin(), piece.end());
            }
            const CompressionUnitLayout layout =
                compressionUnitLayout(slice.data(), slice.size(), unitClusters);
            kinds += letter(layout.kind);
            if (layout.kind == CompressionUnitKind::Stored) {
                std::copy(stored.begin(), stored.end(), unit.begin());
            } else if (layout.kind == CompressionUnitKind::Compressed) {
                const Lznt1Result result =
                    decompressLznt1(stored.data(), stored.size(), unit.data(), unit.size());
                EXPECT_TRUE(result.ok()) << "unit at cluster " << first << ": fault "
                                         << static_cast<int>(result.error) << " at "
                                         << result.inputPosition;
            } else {
                std::fill(unit.begin(), unit.end(), 0);
            }
            stream.append(unit.begin(), unit.end());
        }
        stream.resize(std::min<uint64_t>(stream.size(), info.dataSize));
        return stream;
    }

    static inline harness::FixtureImage built;
    std::ifstream image_;
    uint64_t cluster_ = 0;
    uint64_t table_ = 0;
};

TEST_F(CompressedUnits, EveryUnitDecodesToTheOriginal) {
    // Per file, the kind of each unit: Stored, Compressed, Zeros.
    const std::map<std::string, std::string> layouts = {
        {"text.txt", "CCCCC"}, {"random.bin", "SC"}, {"holes.bin", "CZZC"}, {"small.txt", "C"}};
    for (const auto& f : built.manifest) {
        std::string kinds;
        const std::string stream = decode(std::stoull(f[0]), kinds);
        EXPECT_EQ(kinds, layouts.at(f[1])) << f[1];
        EXPECT_EQ(stream.size(), std::stoull(f[3])) << f[1];
        EXPECT_TRUE(stream == harness::readFile(built.dir->file(f[4]))) << f[1] << " differs";
    }
}

}  // namespace
