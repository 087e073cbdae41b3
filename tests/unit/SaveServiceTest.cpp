#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "save/SaveService.h"
#include "save/SafeName.h"

using namespace undelete;

namespace {

class SaveServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/undelete-recovery-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    int entries() { return std::system(("exit $(ls -A '" + dir + "' | wc -l)").c_str()) >> 8; }
    // Content given in two pieces.
    static ContentSource twice(const std::vector<uint8_t>& piece) {
        return [&piece](ContentSink& sink) {
            return sink.begin(2 * piece.size()) && sink.write(piece.data(), piece.size()) &&
                   sink.write(piece.data(), piece.size());
        };
    }
    SaveService recovery{""};
    std::string dir;
};

// A write refused half-way (the file-size limit stands in for a full disk):
// a new file never appears, an existing one keeps its bytes and mode, and
// no partial file is left beside it.
TEST_F(SaveServiceTest, AWriteFailingHalfWayLosesNothing) {
    const std::string existing = dir + "/existing.txt";
    { std::ofstream(existing) << "precious"; }
    ::chmod(existing.c_str(), 0640);

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::vector<uint8_t> piece(48 * 1024, 'x');
    const SaveReport created = recovery.saveAs(dir + "/new.bin", twice(piece));
    const SaveReport replaced = recovery.saveAs(existing, twice(piece));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_EQ(created.outcome, SaveOutcome::Failed);
    EXPECT_EQ(created.error, EFBIG);
    EXPECT_EQ(replaced.outcome, SaveOutcome::Failed);
    EXPECT_EQ(read(existing), "precious");
    struct stat st {};
    ASSERT_EQ(::stat(existing.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), 1);  // the existing file alone
}

TEST_F(SaveServiceTest, AReplacedFileKeepsItsModeAndGetsTheNewBytes) {
    const std::string path = dir + "/replace.txt";
    { std::ofstream(path) << "old and longer"; }
    ::chmod(path.c_str(), 0600);
    const std::vector<uint8_t> piece = {'n', 'e', 'w'};
    EXPECT_EQ(recovery.saveAs(path, twice(piece)).outcome, SaveOutcome::Saved);
    EXPECT_EQ(read(path), "newnew");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(entries(), 1);
}

// Cut where they must be, names stay whole characters and keep what tells
// them apart: the extension, the number.
TEST(SafeNameTest, LongNamesAreCutToTheLimitKeepingTheirExtensionAndNumber) {
    std::string cjk;
    for (int i = 0; i < 100; ++i) cjk += "档";  // 3 bytes each
    const std::string cut = safeName(cjk + ".txt", NameRules::Portable);
    EXPECT_EQ(cut, cjk.substr(0, 3 * 83) + ".txt");  // 253 bytes: one more would pass 255
    EXPECT_EQ(safeName(cjk + ".txt", NameRules::Windows), cjk + ".txt");  // 104 UTF-16 units

    const std::string numbered = numberedName(cut, 12, true, NameRules::Portable);
    EXPECT_EQ(numbered, cjk.substr(0, 3 * 82) + " (12).txt");  // 255 bytes
    EXPECT_EQ(numberedName("Docs.old", 1, false, NameRules::Posix), "Docs.old (1)");
    EXPECT_EQ(nameWithin(".", std::string(300, 'a'), ".part", NameRules::Posix).size(), 255u);

    // Bytes that are not UTF-8 and control bytes are replaced; "." and ".."
    // are no names.
    EXPECT_EQ(safeName("a\xFF\xC3(b\x01/c", NameRules::Posix), "a__(b__c");
    EXPECT_EQ(safeName("..", NameRules::Portable), "");
    EXPECT_EQ(safeName("a:b?.txt", NameRules::Posix), "a:b?.txt");
    EXPECT_EQ(safeName("a:b?.txt", NameRules::Portable), "a_b_.txt");
}

// A stream (standard output) is written as it comes, its unreadable bytes
// counted; the disk itself is refused, and not asked about first.
TEST_F(SaveServiceTest, AStreamCountsItsLostBytesAndTheDiskItselfIsRefused) {
    std::vector<uint8_t> written;
    BufferSink buffer(written);
    SaveTarget target;
    target.kind = SaveTarget::Kind::Stream;
    target.path = dir + "/stream";
    target.stream = &buffer;
    const SaveReport report = recovery.saveToStream(target, [](ContentSink& sink) {
        return sink.begin(6) && sink.write(reinterpret_cast<const uint8_t*>("ab"), 2) &&
               sink.lost(4);
    });
    EXPECT_EQ(report.outcome, SaveOutcome::Saved);
    EXPECT_EQ(report.lostBytes, 4u);
    EXPECT_EQ(written, (std::vector<uint8_t>{'a', 'b', 0, 0, 0, 0}));

    const std::string disk = dir + "/disk.img";
    { std::ofstream(disk) << "disk"; }
    const SaveService onDisk(disk);
    target.path = disk;
    int asked = 0;
    target.agreeOnScannedDisk = [&asked] { return ++asked > 0; };
    EXPECT_TRUE(onDisk.agreed(target));
    EXPECT_TRUE(onDisk.saveToStream(target, twice({1})).refused);
    EXPECT_EQ(asked, 0);
}

}  // namespace
