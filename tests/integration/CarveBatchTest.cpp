// Carving and the content check through the batch command line, on files
// written at test time by Python's standard library
// (tests/fixtures/make-carve-samples.py): a disk of random bytes with the
// files laid between them gives each back byte for byte, once; on a FAT
// volume made by mkfs.fat and mtools, a deleted file whose entry survived
// is listed by its entry only, and --check says which deleted file's
// first cluster another file took.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "integration/Harness.h"

namespace {

using harness::quote;

struct Samples {
    harness::TempDir dir;
    std::map<std::string, std::string> kindOf;  // file name → kind
    std::map<std::string, std::string> cameraOf;  // file name → camera its Exif names
    bool made = false;
};

const Samples& samples() {
    static Samples s;
    static bool tried = false;
    if (tried) return s;
    tried = true;
    const harness::Result r =
        harness::run("python3 " + quote(harness::fixture("make-carve-samples.py")) + " " +
                     quote(s.dir.path()));
    if (r.status != 0) return s;
    for (const auto& row : harness::table(harness::readFile(s.dir.file("manifest")))) {
        if (row.size() >= 2) s.kindOf[row[0]] = row[1];
        if (row.size() >= 6 && row[5] != "-") s.cameraOf[row[0]] = row[5];
    }
    s.made = !s.kindOf.empty();
    return s;
}

struct Row {
    std::string index, name, bytes, path, state, content;
};

// The rows of a TSV listing, by the header's column names.
std::vector<Row> rowsOf(const std::string& tsv) {
    const auto table = harness::table(tsv);
    std::vector<Row> rows;
    if (table.empty()) return rows;
    std::map<std::string, size_t> column;
    for (size_t i = 0; i < table[0].size(); ++i) column[table[0][i]] = i;
    for (size_t r = 1; r < table.size(); ++r) {
        auto field = [&](const char* name) {
            const auto at = column.find(name);
            return at != column.end() && at->second < table[r].size() ? table[r][at->second]
                                                                      : std::string();
        };
        rows.push_back({field("index"), field("name"), field("bytes"), field("path"),
                        field("state"), field("content")});
    }
    return rows;
}

const char* const kLaid[] = {"photo.jpg", "harbour.png", "hum.flac",   "report.pdf",
                             "plan.docx", "clip.mp4",    "box.7z",     "letter.doc",
                             "song.mp3",  "tide.ogg",    "birds.wav", "contacts.sqlite"};

TEST(CarveBatch, ADiskOfRandomBytesGivesBackEachFileByteExactAndOnce) {
    const Samples& s = samples();
    ASSERT_TRUE(s.made) << "make-carve-samples.py failed";
    harness::TempDir dir;
    // Random bytes, each file at a 4 KiB boundary after a random gap.
    std::mt19937 random(28);
    std::ofstream disk(dir.file("disk.img"), std::ios::binary);
    std::map<uint64_t, std::string> placed;  // sector → file
    uint64_t at = 0;
    auto noise = [&](uint64_t bytes) {
        std::string block(bytes, '\0');
        for (char& c : block) c = static_cast<char>(random());
        disk.write(block.data(), static_cast<std::streamsize>(block.size()));
        at += bytes;
    };
    for (const char* name : kLaid) {
        noise(4096 * (1 + random() % 8));
        const std::string bytes = harness::readFile(s.dir.file(name));
        ASSERT_FALSE(bytes.empty()) << name;
        placed[at / 512] = name;
        disk.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        at += bytes.size();
        noise((4096 - at % 4096) % 4096);
    }
    noise(64 * 1024);
    disk.close();

    const std::string image = quote(dir.file("disk.img"));
    const harness::Result list = harness::undelete("--scan disk --carve " + image);
    ASSERT_EQ(list.status, 0);
    const std::vector<Row> rows = rowsOf(list.out);
    EXPECT_EQ(rows.size(), placed.size()) << list.out;
    const std::string out = dir.file("out");
    ASSERT_EQ(harness::undelete("--scan disk --carve --save-all --output " + quote(out) + " " +
                                image + " 2>&1")
                  .status,
              0);
    for (const Row& row : rows) {
        const auto file = placed.find(std::stoull(row.name.substr(0, 10)));
        ASSERT_NE(file, placed.end()) << row.name << " begins where no file was laid";
        EXPECT_EQ(row.path, "/$Carved/" + s.kindOf.at(file->second) + "/") << file->second;
        // The camera a photo names is offered in its row.
        const auto camera = s.cameraOf.find(file->second);
        if (camera != s.cameraOf.end()) {
            EXPECT_NE(row.name.find(camera->second), std::string::npos) << row.name;
        }
        EXPECT_EQ(harness::sha256Of(out + row.path + row.name),
                  harness::sha256Of(s.dir.file(file->second)))
            << file->second;
        placed.erase(file);
    }
    EXPECT_TRUE(placed.empty());
    // An index the whole disk's scan did not list is told as the disk's,
    // not as a partition row's.
    const harness::Result wrong = harness::undelete("--scan disk --carve --save 9999 --output " +
                                                    quote(out) + " " + image + " 2>&1");
    EXPECT_NE(wrong.out.find("catalogue index 9999 is not a listed file of the whole disk's scan"),
              std::string::npos) << wrong.out;
    EXPECT_EQ(wrong.out.find("row 0"), std::string::npos) << wrong.out;
}

TEST(CarveBatch, AnEntrysFileIsListedOnceAndCheckTellsAReusedFirstCluster) {
    const Samples& s = samples();
    ASSERT_TRUE(s.made) << "make-carve-samples.py failed";
    harness::TempDir dir;
    // PHOTO.JPG and BIRDS.WAV deleted; SUB/NOTES.TXT, written after
    // BIRDS.WAV was deleted, takes its first cluster (mtools allocates the
    // first free one) but not its entry. Names in 8.3 capitals: no long-name
    // entry to lose.
    const std::string script =
        "set -e; export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8; cd " + quote(dir.path()) +
        "; truncate -s 16M disk.img; mkfs.fat -F 16 -s 4 disk.img >/dev/null; mmd -i disk.img ::/SUB"
        "; cp " + quote(s.dir.file("photo.jpg")) + " photo.jpg; cp " +
        quote(s.dir.file("birds.wav")) + " birds.wav"
        "; mcopy -i disk.img photo.jpg ::/PHOTO.JPG; mcopy -i disk.img birds.wav ::/BIRDS.WAV"
        "; mdel -i disk.img ::/BIRDS.WAV; seq 1 400 > notes.txt; mcopy -i disk.img notes.txt "
        "::/SUB/NOTES.TXT; mdel -i disk.img ::/PHOTO.JPG";
    ASSERT_EQ(harness::run("sh -c " + quote(script) + " >&2").status, 0);
    const std::string image = quote(dir.file("disk.img"));
    const harness::Result list = harness::undelete("--scan 0 --carve --check " + image);
    ASSERT_EQ(list.status, 0);
    std::map<std::string, std::string> content;
    int photos = 0;
    const std::string photoBytes = std::to_string(harness::readFile(dir.file("photo.jpg")).size());
    for (const Row& row : rowsOf(list.out)) {
        content[row.name] = row.content;
        if (row.bytes == photoBytes) ++photos;
    }
    // The first letter of a deleted 8.3 name is lost.
    EXPECT_EQ(content["#HOTO.JPG"], "match") << list.out;
    EXPECT_EQ(content["#IRDS.WAV"], "mismatch") << list.out;
    EXPECT_EQ(photos, 1) << "the photo its entry lists is not listed again as carved\n" << list.out;

    const harness::Result json = harness::undelete("--scan 0 --check --json " + image);
    EXPECT_NE(json.out.find("\"content\":\"match\"}"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"content\":\"mismatch\"}"), std::string::npos) << json.out;
    // Without --check there is no content field.
    EXPECT_EQ(harness::undelete("--scan 0 " + image).out.find("content"), std::string::npos);
}

}  // namespace
