#include <gtest/gtest.h>

#include <unistd.h>

#include <map>

#include "Harness.h"

using harness::quote;

namespace {

// The built program under a locale: LANG=`lang`, nothing overriding it.
harness::Result inLocale(const std::string& lang, const std::string& arguments) {
    return harness::run("env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=" + lang + " " +
                        std::string(UNDELETE_BINARY) + " " + arguments);
}

bool haveLocale(const std::string& name) {
    return harness::run("locale -a | grep -qix " + quote(name)).status == 0;
}

// The batch face on a FAT32 image: saving many files, the reasons of
// failed saves, both languages.
class Batch : public ::testing::Test {
protected:
    static void SetUpTestSuite() { built = harness::makeFixtureImage("make-fat32-image.sh"); }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }
    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
    }
    static std::string image() { return built.image(); }
    static inline harness::FixtureImage built;
};

TEST_F(Batch, SaveAllWritesEveryListedFileByteForByte) {
    for (const std::string row : {"0", "1"}) {
        harness::TempDir out;
        const auto result = harness::undelete("--scan " + row +
                                              " --save-all --output " + quote(out.path()) + " " +
                                              quote(image()) + " 2>&1");
        EXPECT_EQ(result.status, 0) << result.out;
        size_t expected = 0;
        for (const auto& f : built.manifest) {
            if (f.size() != 5 || f[0] != row) continue;
            ++expected;
            // Under its folder path when the scanner knows it, else flat.
            const auto found = harness::run("find " + quote(out.path()) + " -type f -name " +
                                            quote(f[1]) + " | head -1");
            ASSERT_FALSE(found.out.empty()) << f[1] << " was not saved";
            const std::string saved = found.out.substr(0, found.out.size() - 1);
            EXPECT_EQ(harness::readFile(saved), harness::readFile(built.dir->file(f[4]))) << f[1];
        }
        ASSERT_GT(expected, 0u);
        EXPECT_NE(result.out.find("saved " + std::to_string(expected) + " files, 0 failed"),
                  std::string::npos)
            << result.out;
    }
}

TEST_F(Batch, ManyIndicesGoToAFolderAndOneToStandardOutput) {
    const auto listing = harness::table(harness::undelete("--scan 0 " + quote(image())).out);
    ASSERT_GE(listing.size(), 3u);
    const std::string a = listing[1][1], b = listing[2][1];
    harness::TempDir out;
    // Twice: the second run adds " (1)" names instead of replacing.
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(harness::undelete("--scan 0 --save " + a + "," + b + " --output " +
                                    quote(out.path()) + " " + quote(image()) + " 2>/dev/null")
                      .status,
                  0);
    }
    EXPECT_EQ(harness::run("find " + quote(out.path()) + " -type f | wc -l").out, "4\n");
    // One index and a path ending in "/": a folder, made as for several.
    const std::string made = out.file("new");
    EXPECT_EQ(harness::undelete("--scan 0 --save " + a + " --output " + quote(made + "/") + " " +
                                quote(image()) + " 2>&1")
                  .status,
              0);
    EXPECT_EQ(harness::run("find " + quote(made) + " -type f -printf '%s\\n'").out,
              listing[1][5] + "\n");
    const auto piped = harness::undelete("--scan 0 --save " + a + " --output - " + quote(image()));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(std::to_string(piped.out.size()), listing[1][5]);
    // Several indices cannot share standard output.
    EXPECT_EQ(harness::undelete("--scan 0 --save " + a + "," + b + " --output - " +
                                quote(image()) + " 2>/dev/null")
                  .status,
              2);
}

TEST_F(Batch, AFailedSaveSaysWhy) {
    const auto listing = harness::table(harness::undelete("--scan 0 " + quote(image())).out);
    ASSERT_GE(listing.size(), 2u);
    const std::string index = listing[1][1];
    harness::TempDir out;
    const auto save = [&](const std::string& output, const std::string& extra = "") {
        return harness::run("LC_ALL=C " + std::string(UNDELETE_BINARY) + " --scan 0 --save " +
                            index + " --output " + quote(output) + " " + extra + " " +
                            quote(image()) + " 2>&1 >/dev/null");
    };
    const std::map<std::string, harness::Result> failures = {
        {"No such file or directory", save(out.file("missing/x.bin"))},
        {"No space left on device", save("/dev/full", "--force")},
        {"it is the disk being read", save(image(), "--force")},
    };
    for (const auto& [reason, result] : failures) {
        EXPECT_EQ(result.status, 1) << reason;
        EXPECT_NE(result.out.find(reason), std::string::npos) << result.out;
    }
    // Into a folder: the same reasons, then the summary.
    const auto many = save(out.file("missing"), "--save-all");
    EXPECT_EQ(many.status, 2);  // --save and --save-all exclude each other
    { std::ofstream(out.file("plain")) << "a file"; }
    const auto folder = harness::run("LC_ALL=C " + std::string(UNDELETE_BINARY) +
                                     " --scan 0 --save-all --output " +
                                     quote(out.file("plain/sub")) + " " + quote(image()) + " 2>&1");
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.out.find(out.file("plain") + ": Not a directory"), std::string::npos)
        << folder.out;

    if (geteuid() != 0 || !harness::haveTool("setpriv")) return;
    // Permission: a user who may read the image but not write the folder.
    harness::TempDir shared;
    const std::string copy = shared.file("disk.img");
    const std::string nobody = harness::programAsNobody(shared);
    harness::run("cp " + quote(image()) + " " + quote(copy) + " && chmod 644 " + quote(copy));
    const auto denied = harness::run("LC_ALL=C " + nobody + " --scan 0 --save " + index +
                                     " --output " + quote(shared.file("out.bin")) + " " +
                                     quote(copy) + " 2>&1 >/dev/null");
    EXPECT_EQ(denied.status, 1);
    EXPECT_NE(denied.out.find("could not save to " + shared.file("out.bin") +
                              ": Permission denied"),
              std::string::npos)
        << denied.out;
}

TEST_F(Batch, EnglishAndChineseRunsDifferOnlyInTheirMessages) {
    if (!haveLocale("zh_CN.utf8")) GTEST_SKIP() << "zh_CN.UTF-8 missing (scripts/setup test makes it)";
    const std::string args = "-v --scan 0 " + quote(image()) + " 2>&1 >/dev/null";
    const auto english = inLocale("C", args);
    const auto chinese = inLocale("zh_CN.UTF-8", args);
    EXPECT_EQ(english.out,
              "undelete: preparing the scan; this may take a long time\n"
              "undelete: preparation finished\n");
    EXPECT_EQ(chinese.out,
              "undelete: 程序正在准备初始化，可能需要很长时间才能响应\n"
              "undelete: 初始化已经成功完成\n");
    // LANGUAGE leads in a locale that is not C; any other language reads English.
    EXPECT_EQ(harness::run("env -u LC_ALL LANGUAGE=zh_CN LANG=en_US.UTF-8 " +
                           std::string(UNDELETE_BINARY) + " " + args)
                  .out,
              chinese.out);
    EXPECT_EQ(inLocale("de_DE.UTF-8", args).out, english.out);
    // The listing itself is the same words in both.
    const auto en = inLocale("C", "--scan 0 " + quote(image()));
    const auto zh = inLocale("zh_CN.UTF-8", "--scan 0 " + quote(image()));
    EXPECT_EQ(en.out, zh.out);
    EXPECT_EQ(en.out.substr(0, en.out.find('\n')),
              "row\tindex\tname\ttime\tsize\tbytes\tcreated\tpath\tstate\torigin\tdeleted");
    EXPECT_EQ(inLocale("zh_CN.UTF-8", "--scan 9 " + quote(image()) + " 2>&1").out,
              "undelete: 没有分区行 9（磁盘有 2 行）\n");
}

TEST_F(Batch, SizesKeepTheDecimalPointUnderAGermanLocale) {
    if (!haveLocale("de_DE.utf8")) GTEST_SKIP() << "de_DE.UTF-8 missing (scripts/setup test makes it)";
    const auto listing = inLocale("de_DE.UTF-8", "--scan 0 " + quote(image()));
    ASSERT_EQ(listing.status, 0);
    size_t checked = 0;
    for (const auto& f : harness::table(listing.out)) {
        if (f.size() != 11 || f[0] == "row") continue;
        EXPECT_EQ(f[4], harness::expectedSizeText(std::stoull(f[5]))) << f[2];
        checked += f[4].find('.') != std::string::npos;
    }
    EXPECT_GT(checked, 0u);  // some size had a decimal mark to get wrong
}

// A deleted folder and a deleted file whose 8.3 names lost their first
// letter alike (LOGS, DOGS: both "#OGS"), the file listed first, saved into
// a folder that does not exist yet: both land, the folder as "#OGS (1)".
TEST(BatchSaveAll, MakesTheOutputFolderAndGivesAFolderMeetingAFileANumber) {
    harness::TempDir dir;
    const std::string script =
        "set -e; export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8; cd " + quote(dir.path()) +
        "; truncate -s 64M disk.img; mkfs.fat -F 32 -s 1 disk.img >/dev/null"
        "; echo 'the file DOGS' > dogs; echo 'a file in LOGS' > a"
        "; mcopy -i disk.img dogs ::/DOGS; mmd -i disk.img ::/LOGS; mcopy -i disk.img a ::/LOGS/A.TXT"
        "; mdeltree -i disk.img ::/LOGS; mdel -i disk.img ::/DOGS";
    ASSERT_EQ(harness::run("sh -c " + quote(script) + " >&2").status, 0);
    const std::string out = dir.file("not/yet");
    const auto result = harness::run(std::string(UNDELETE_BINARY) + " --scan 0 --save-all --output " +
                                     quote(out) + " " + quote(dir.file("disk.img")) + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(harness::readFile(out + "/#OGS"), "the file DOGS\n");
    EXPECT_EQ(harness::readFile(out + "/#OGS (1)/#.TXT"), "a file in LOGS\n");
}

TEST(BatchOnDamagedDisk, AnImageCutInsideItsTableListsWhatItHoldsAndExitsOne) {
    harness::FixtureImage ntfs = harness::makeFixtureImage("make-ntfs-image.sh");
    if (!ntfs.skipReason.empty()) GTEST_SKIP() << ntfs.skipReason;
    ASSERT_TRUE(ntfs.failure.empty()) << ntfs.failure;
    // The image ends a few records into the primary's master file table.
    const std::string disk = harness::readFile(ntfs.image());
    const size_t boot = 2048 * 512;
    ASSERT_GT(disk.size(), boot + 512);
    const auto sectorsPerCluster = static_cast<unsigned char>(disk[boot + 13]);
    uint64_t mftCluster = 0;
    for (int i = 7; i >= 0; --i) mftCluster = mftCluster << 8 | static_cast<unsigned char>(disk[boot + 48 + i]);
    const uint64_t cut = boot + mftCluster * sectorsPerCluster * 512 + 40 * 1024;
    const std::string image = ntfs.dir->file("cut.img");
    harness::run("cp " + quote(ntfs.image()) + " " + quote(image) + " && chmod u+w " +
                 quote(image) + " && truncate -s " + std::to_string(cut) + " " + quote(image));

    const auto result = harness::run("LC_ALL=C " + std::string(UNDELETE_BINARY) + " --scan 0 " +
                                     quote(image) + " 2>" + quote(ntfs.dir->file("err")));
    const std::string errors = harness::readFile(ntfs.dir->file("err"));
    EXPECT_EQ(result.status, 1) << errors;
    EXPECT_EQ(result.out.substr(0, 4), "row\t");
    // The table is read up to the end of the disk, and the cut is told once.
    const size_t told = errors.find("reaches past the end of the disk");
    ASSERT_NE(told, std::string::npos) << errors;
    EXPECT_EQ(errors.find("reaches past the end", told + 1), std::string::npos) << errors;
    // The extended boot record behind the cut cannot be read: said once, no flood.
    const size_t first = errors.find("ReadFile");
    EXPECT_TRUE(first == std::string::npos || errors.find("ReadFile", first + 1) == std::string::npos)
        << errors;
}

}  // namespace
