#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/OutputFile.h"

using namespace undelete;

namespace {

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/undelete-out-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    int entries() {
        return std::system(("exit $(ls -A '" + dir + "' | wc -l)").c_str()) >> 8;
    }
    std::string dir;
};

TEST_F(OutputFileTest, HolesReadBackAsZerosAndATrailingHoleMakesTheLength) {
    const std::string path = dir + "/sparse.bin";
    const std::vector<uint8_t> head = {'h', 'e', 'a', 'd'};
    OutputFile file(path);
    ASSERT_TRUE(file.begin(3 << 20));
    ASSERT_TRUE(file.write(head.data(), head.size()));
    ASSERT_TRUE(file.skip((1 << 20) - 4));
    ASSERT_TRUE(file.write(head.data(), head.size()));
    ASSERT_TRUE(file.skip((2 << 20) - 4));
    ASSERT_TRUE(file.finish());
    const std::string bytes = read(path);
    ASSERT_EQ(bytes.size(), 3u << 20);
    EXPECT_EQ(bytes.substr(0, 4), "head");
    EXPECT_EQ(bytes.substr(1 << 20, 4), "head");
    EXPECT_EQ(bytes.find_first_not_of('\0', 4), size_t{1} << 20);
    EXPECT_EQ(bytes.find_first_not_of('\0', (1 << 20) + 4), std::string::npos);
}

TEST_F(OutputFileTest, ContentThatFallsShortOfItsLengthIsNotFinished) {
    const std::string path = dir + "/short.bin";
    OutputFile file(path);
    ASSERT_TRUE(file.begin(10));
    const uint8_t five[5] = {};
    ASSERT_TRUE(file.write(five, 5));
    EXPECT_FALSE(file.write(five, 5 + 1));  // more than announced
    EXPECT_FALSE(file.finish());
    file.discard();
    EXPECT_EQ(entries(), 0);
}

// A write refused half-way (the file-size limit stands in for a full disk):
// a new file is removed, an existing one keeps its bytes and mode, and no
// partial file is left beside it.
TEST_F(OutputFileTest, AWriteFailingHalfWayLosesNothing) {
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
    bool newWritten = true, existingWritten = true;
    int newError = 0;
    {
        OutputFile file(dir + "/new.bin");
        newWritten = file.begin(2 * piece.size()) && file.write(piece.data(), piece.size()) &&
                     file.write(piece.data(), piece.size());
        newError = file.error();
    }
    {
        OutputFile file(existing);
        existingWritten = file.begin(2 * piece.size()) &&
                          file.write(piece.data(), piece.size()) &&
                          file.write(piece.data(), piece.size());
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_FALSE(newWritten);
    EXPECT_EQ(newError, EFBIG);
    EXPECT_FALSE(existingWritten);
    EXPECT_EQ(read(existing), "precious");
    struct stat st {};
    ASSERT_EQ(::stat(existing.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), 1);  // the existing file alone
}

TEST_F(OutputFileTest, AReplacedFileKeepsItsModeAndGetsTheNewBytes) {
    const std::string path = dir + "/replace.txt";
    { std::ofstream(path) << "old and longer"; }
    ::chmod(path.c_str(), 0600);
    OutputFile file(path);
    const uint8_t text[3] = {'n', 'e', 'w'};
    ASSERT_TRUE(file.begin(3) && file.write(text, 3) && file.finish());
    EXPECT_EQ(read(path), "new");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(entries(), 1);
}

}  // namespace
