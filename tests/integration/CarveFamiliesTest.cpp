// Every recogniser family on small files of its own kind, written at test
// time by Python's standard library (tests/fixtures/make-carve-samples.py):
// each file, followed by random bytes, is recognised from its first byte
// as its kind and ends at its last byte, with the title, date and camera
// it keeps; its damaged twin is refused. The content check says "match"
// for each file as it is, and "mismatch" for the damaged one and for one
// whose first cluster another file's bytes took.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "carve/ContentCheck.h"
#include "carve/Recognisers.h"
#include "common/Text.h"
#include "integration/Harness.h"

using namespace undelete;

namespace {

struct Sample {
    std::string name, kind, extension, title, created, camera, damaged;
};

struct Samples {
    harness::TempDir dir;
    std::vector<Sample> all;
    bool made = false;
};

const Samples& samples() {
    static Samples s;
    static bool tried = false;
    if (tried) return s;
    tried = true;
    const harness::Result r =
        harness::run("python3 " + harness::quote(harness::fixture("make-carve-samples.py")) + " " +
                     harness::quote(s.dir.path()));
    if (r.status != 0) return s;
    for (const std::vector<std::string>& row :
         harness::table(harness::readFile(s.dir.file("manifest")))) {
        if (row.size() != 7) continue;
        auto field = [](const std::string& f) { return f == "-" ? std::string() : f; };
        s.all.push_back(
            {row[0], row[1], row[2], field(row[3]), field(row[4]), field(row[5]), field(row[6])});
    }
    s.made = !s.all.empty();
    return s;
}

std::vector<uint8_t> bytesOf(const std::string& path) {
    const std::string text = harness::readFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The file, then 64 KiB of random bytes: its end must come from its structure.
std::vector<uint8_t> withRandomTail(std::vector<uint8_t> bytes) {
    std::mt19937 random(static_cast<uint32_t>(bytes.size()));
    for (int i = 0; i < 65536; ++i) bytes.push_back(static_cast<uint8_t>(random()));
    return bytes;
}

// The first recogniser, in the pass's order, that takes the bytes.
Recognised firstTaker(const std::vector<uint8_t>& bytes) {
    MemorySource source(bytes.data(), bytes.size());
    for (const Recogniser* recogniser : allRecognisers()) {
        if (Recognised found = recognise(*recogniser, source)) return found;
    }
    return {};
}

void checkFamily(const Recogniser& family) {
    ASSERT_TRUE(initProcessLocale());
    const Samples& s = samples();
    if (!harness::haveTool("python3")) GTEST_SKIP() << "no python3 to write the samples";
    ASSERT_TRUE(s.made);
    int files = 0, damaged = 0;
    for (const Sample& sample : s.all) {
        const std::vector<const Recogniser*> owners = recognisersForExtension(sample.extension);
        if (owners.empty() || owners[0] != &family) continue;
        SCOPED_TRACE(sample.name);
        ++files;
        const std::vector<uint8_t> file = bytesOf(s.dir.file(sample.name));
        const Recognised found = firstTaker(withRandomTail(file));
        EXPECT_EQ(found.length, file.size());
        EXPECT_STREQ(found.kind ? found.kind : "", sample.kind.c_str());
        EXPECT_STREQ(found.extension ? found.extension : "", sample.extension.c_str());
        EXPECT_EQ(found.metadata.title, sample.title);
        EXPECT_EQ(found.metadata.created, sample.created);
        EXPECT_EQ(found.metadata.camera, sample.camera);
        MemorySource exact(file.data(), file.size());
        EXPECT_EQ(checkContent(sample.extension, exact), ContentVerdict::Match);
        if (sample.damaged.empty()) continue;
        ++damaged;
        const std::vector<uint8_t> broken = bytesOf(s.dir.file(sample.damaged));
        const std::vector<uint8_t> tailed = withRandomTail(broken);
        MemorySource source(tailed.data(), tailed.size());
        EXPECT_FALSE(recognise(family, source)) << sample.damaged;
        MemorySource brokenExact(broken.data(), broken.size());
        EXPECT_EQ(checkContent(sample.extension, brokenExact), ContentVerdict::Mismatch)
            << sample.damaged;
    }
    EXPECT_GT(files, 0);
    EXPECT_GT(damaged, 0);
}

TEST(CarveFamilies, Jpeg) { checkFamily(kJpegRecogniser); }
TEST(CarveFamilies, Png) { checkFamily(kPngRecogniser); }
TEST(CarveFamilies, Gif) { checkFamily(kGifRecogniser); }
TEST(CarveFamilies, Bmp) { checkFamily(kBmpRecogniser); }
TEST(CarveFamilies, TiffAndCameraRaws) { checkFamily(kTiffRecogniser); }
TEST(CarveFamilies, IsoMedia) { checkFamily(kIsoMediaRecogniser); }
TEST(CarveFamilies, Riff) { checkFamily(kRiffRecogniser); }
TEST(CarveFamilies, Mp3) { checkFamily(kMp3Recogniser); }
TEST(CarveFamilies, Ogg) { checkFamily(kOggRecogniser); }
TEST(CarveFamilies, Flac) { checkFamily(kFlacRecogniser); }
TEST(CarveFamilies, Matroska) { checkFamily(kMatroskaRecogniser); }
TEST(CarveFamilies, MpegProgramStream) { checkFamily(kMpegProgramRecogniser); }
TEST(CarveFamilies, Pdf) { checkFamily(kPdfRecogniser); }
TEST(CarveFamilies, ZipAndDocuments) { checkFamily(kZipRecogniser); }
TEST(CarveFamilies, Ole2) { checkFamily(kOle2Recogniser); }
TEST(CarveFamilies, SevenZip) { checkFamily(kSevenZipRecogniser); }
TEST(CarveFamilies, Rar) { checkFamily(kRarRecogniser); }
TEST(CarveFamilies, Gzip) { checkFamily(kGzipRecogniser); }
TEST(CarveFamilies, Sqlite) { checkFamily(kSqliteRecogniser); }
TEST(CarveFamilies, Psd) { checkFamily(kPsdRecogniser); }
TEST(CarveFamilies, PlainText) { checkFamily(kTextRecogniser); }

// A deleted photo whose first cluster a later file took: its name says
// JPEG, its first bytes are text.
TEST(ContentCheck, SaysMismatchForAReusedFirstClusterAndUnknownForNoRecogniser) {
    const Samples& s = samples();
    if (!harness::haveTool("python3")) GTEST_SKIP() << "no python3 to write the samples";
    ASSERT_TRUE(s.made);
    std::vector<uint8_t> photo = bytesOf(s.dir.file("photo.jpg"));
    const std::vector<uint8_t> story = bytesOf(s.dir.file("story.txt"));
    std::copy(story.begin(), story.begin() + 512, photo.begin());
    MemorySource reused(photo.data(), photo.size());
    EXPECT_EQ(checkContent("JPG", reused), ContentVerdict::Mismatch);
    EXPECT_EQ(checkContent("xyz", reused), ContentVerdict::Unknown);
    EXPECT_EQ(nameExtension("Holiday.2019.JPG"), "JPG");
}

}  // namespace
