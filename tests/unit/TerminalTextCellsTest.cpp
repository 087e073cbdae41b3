#include <gtest/gtest.h>

#include "app/terminal/TextCells.h"
#include "common/Text.h"

namespace undelete::terminal {
namespace {

class TerminalTextCellsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(initProcessLocale()); }
};

TEST_F(TerminalTextCellsTest, MeasuresWideCharactersAsTwoCells) {
    EXPECT_EQ(displayWidth("abc"), 3);
    EXPECT_EQ(displayWidth("报告.txt"), 8);
    EXPECT_EQ(displayWidth(""), 0);
    // A combining accent takes no cell of its own.
    EXPECT_EQ(displayWidth("e\xCC\x81"), 1);
}

TEST_F(TerminalTextCellsTest, ClipsOnlyAtWholeCharacters) {
    EXPECT_EQ(clipToWidth("报告.txt", 3), "报");  // the second character would need cells 3 and 4
    EXPECT_EQ(clipToWidth("报告.txt", 4), "报告");
    EXPECT_EQ(clipToWidth("报告.txt", 1), "");
    EXPECT_EQ(clipToWidth("abc", 10), "abc");
    EXPECT_EQ(clipToWidth("e\xCC\x81x", 1), "e\xCC\x81");  // the mark stays with its letter
    EXPECT_EQ(padToWidth("报告", 5), "报告 ");
    EXPECT_EQ(padToWidth("报告", 3), "报 ");
}

TEST_F(TerminalTextCellsTest, ReplacesControlsAndBrokenBytes) {
    // An escape sequence in a name from the disk must not reach the terminal.
    EXPECT_EQ(clipToWidth("a\x1B[2Jb", 10), "a?[2Jb");
    EXPECT_EQ(clipToWidth("tab\there", 10), "tab?here");
    EXPECT_EQ(clipToWidth("\xC2\x9B"
                          "x",
                          10),
              "?x");  // C1 control (CSI)
    EXPECT_EQ(clipToWidth("\xFF\xFE", 10), "??");
    EXPECT_EQ(clipToWidth("\xE6\x8A", 10), "??");       // truncated sequence
    EXPECT_EQ(clipToWidth("\xC0\xAF", 10), "??");       // overlong '/'
    EXPECT_EQ(clipToWidth("\xED\xA0\x80", 10), "???");  // surrogate
    EXPECT_EQ(clipToWidth("\xCC\x81"
                          "a",
                          10),
              "a");  // a mark with nothing before it
}

TEST_F(TerminalTextCellsTest, SlicesAWindowOfCells) {
    const std::string text = "ab报告cd";  // cells: a b 报报 告告 c d
    EXPECT_EQ(sliceCells(text, 0, 4), "ab报");
    EXPECT_EQ(sliceCells(text, 2, 4), "报告");
    // A wide character cut by an edge is shown as blanks, never as half.
    EXPECT_EQ(sliceCells(text, 3, 4), " 告c");
    EXPECT_EQ(sliceCells(text, 1, 2), "b ");
    EXPECT_EQ(sliceCells(text, 6, 5), "cd   ");
    EXPECT_EQ(sliceCells(text, 20, 3), "   ");
    EXPECT_EQ(sliceCells(text, 0, 0), "");
    for (int offset = 0; offset < 9; ++offset) {
        for (int width = 1; width < 9; ++width) {
            EXPECT_EQ(displayWidth(sliceCells(text, offset, width)), width)
                << "offset " << offset << " width " << width;
        }
    }
}

TEST_F(TerminalTextCellsTest, WrapsAtLineFeedsAndFullLines) {
    EXPECT_EQ(wrapToWidth("abc\ndef", 10), (std::vector<std::string>{"abc", "def"}));
    EXPECT_EQ(wrapToWidth("程序正在准备", 5), (std::vector<std::string>{"程序", "正在", "准备"}));
    EXPECT_EQ(wrapToWidth("", 5), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace undelete::terminal
