#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Text.h"
#include "scan/RowTexts.h"
#include "scan/TimeText.h"

using namespace undelete;

namespace {

std::string convert(const std::vector<uint16_t>& units, size_t maxBytes) {
    std::vector<char> out(maxBytes + 1, 'Z');
    const size_t n = utf16ToMultibyte(units.data(), units.size(), out.data(), maxBytes);
    EXPECT_EQ(out[n], '\0');
    return std::string(out.data(), n);
}

class TextTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(initProcessLocale()); }
};

TEST_F(TextTest, ConvertsToUtf8AndStopsAtZero) {
    EXPECT_EQ(convert({0x62A5, 0x544A, '.', 't', 'x', 't', 0, 'x'}, 200), "报告.txt");
}

TEST_F(TextTest, DecodesSurrogatePairsAndMarksUnpairedOnes) {
    EXPECT_EQ(convert({0xD83D, 0xDE00}, 200), "\xF0\x9F\x98\x80");  // U+1F600
    EXPECT_EQ(convert({'a', 0xD83D, 'b'}, 200), "a?b");
    EXPECT_EQ(convert({0xDE00, 'c'}, 200), "?c");
    EXPECT_EQ(convert({'d', 0xD83D}, 200), "d?");
}

TEST_F(TextTest, CutsAtACharacterBoundary) {
    // Three bytes per character: 200 bytes hold 66 of them, never a part.
    std::vector<uint16_t> units(100, 0x62A5);
    EXPECT_EQ(convert(units, 200).size(), 198u);
    EXPECT_EQ(convert(units, 259).size(), 258u);
    EXPECT_EQ(convert({'a', 'b', 'c'}, 2), "ab");
    EXPECT_EQ(convert({'a'}, 0), "");
}

TEST(SizeText, UnitsAndRounding) {
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0 B"},
        {1024, "1024 B"},
        {1025, "1.0 KB"},
        {1048576, "1024.0 KB"},
        {1048577, "1.0 MB"},
        {5000000, "4.8 MB"},
        {1073741824, "1024.0 MB"},
        {1073741825, "1.0 GB"},
        {4294967295ull, "4.0 GB"},
        {(1ull << 32) + 5, "4.0 GB"},
        {UINT64_MAX, "17179869184.0 GB"},
    };
    for (const auto& [n, text] : cases) {
        char out[20];
        formatSizeText(n, out);
        EXPECT_STREQ(out, text) << n;
    }
}

TEST(TimeText, FieldsWithoutAndWithLeadingZeros) {
    char out[25];
    formatTimeText(2010, 9, 1, 13, 26, 62, out);
    EXPECT_STREQ(out, "2010/9/1 13:26:62");
    formatTimeText(1980, 0, 0, 0, 0, 0, out);
    EXPECT_STREQ(out, "1980/0/0 00:00:00");
}

}  // namespace
