#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "save/OutputFile.h"

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
    std::string dir;
};

TEST_F(OutputFileTest, HolesReadBackAsZerosAndATrailingHoleMakesTheLength) {
    const std::string path = dir + "/sparse.bin";
    const std::vector<uint8_t> head = {'h', 'e', 'a', 'd'};
    OutputFile file;
    ASSERT_TRUE(file.create(path));
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
    OutputFile file;
    ASSERT_TRUE(file.create(dir + "/short.bin"));
    EXPECT_FALSE(file.create(dir + "/short.bin"));  // already open
    ASSERT_TRUE(file.begin(10));
    const uint8_t five[5] = {};
    ASSERT_TRUE(file.write(five, 5));
    EXPECT_FALSE(file.write(five, 5 + 1));  // more than announced
    EXPECT_FALSE(file.finish());
    OutputFile again;
    EXPECT_FALSE(again.create(dir + "/short.bin"));  // never over a file
    EXPECT_EQ(again.error(), EEXIST);
}

}  // namespace
