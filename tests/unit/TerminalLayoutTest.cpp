#include <gtest/gtest.h>

#include <algorithm>

#include "app/terminal/DialogLayout.h"
#include "app/terminal/ListColumns.h"
#include "app/terminal/TerminalView.h"
#include "app/terminal/TextCells.h"
#include "common/Text.h"

namespace undelete::terminal {
namespace {

TEST(TerminalLayoutTest, TooSmallATerminalDrawsNoDialog) {
    EXPECT_FALSE(layoutDialog(kMinimumRows - 1, 120, 3).fits);
    EXPECT_FALSE(layoutDialog(50, kMinimumColumns - 1, 3).fits);
    EXPECT_TRUE(layoutDialog(kMinimumRows, kMinimumColumns, 3).fits);
}

TEST(TerminalLayoutTest, PartsStackWithoutOverlapOnEverySize) {
    for (int rows = kMinimumRows; rows <= 70; rows += 3) {
        for (int partitions : {0, 1, 4, 40}) {
            const DialogLayout l = layoutDialog(rows, 100, partitions);
            ASSERT_TRUE(l.fits);
            const Rect& p = l.partitions.frame;
            const Rect& f = l.files.frame;
            EXPECT_GT(p.top, l.hintRow);
            EXPECT_EQ(f.top, p.top + p.height);
            EXPECT_EQ(f.top + f.height, l.bottomRow);
            EXPECT_EQ(l.bottomRow, rows - 1);
            EXPECT_GE(l.partitions.pageRows(), 2);
            EXPECT_GE(l.files.pageRows(), l.partitions.pageRows());
            // The partition list never takes more than about a third of
            // the rows the two lists share, and a few partitions fit.
            const int shared = l.partitions.pageRows() + l.files.pageRows();
            EXPECT_LE(l.partitions.pageRows(), std::max(2, shared / 3)) << rows << " rows";
            if (partitions <= 4 && rows >= 24) {
                EXPECT_EQ(l.partitions.pageRows(), std::max(2, partitions));
            }
        }
    }
    const DialogLayout roomy = layoutDialog(50, 160, 3);
    EXPECT_EQ(roomy.partitions.pageRows(), 3);  // a few partitions get just their rows
}

TEST(TerminalLayoutTest, ButtonsSitRightOfTheCountersInScanSaveOrder) {
    for (int columns : {kMinimumColumns, 80, 160}) {
        const DialogLayout l = layoutDialog(24, columns, 2);
        EXPECT_LT(l.scanButton.left + l.scanButton.width, l.saveButton.left);
        EXPECT_LT(l.saveButton.left + l.saveButton.width, columns);
        // The counters' sentence has the cells before them.
        EXPECT_GT(l.scanButton.left, 46);
        EXPECT_EQ(l.scanButton.top, l.bottomRow);
    }
}

TEST(TerminalLayoutTest, ColumnsHaveTheDialogsHeadersAndProportions) {
    ASSERT_TRUE(initProcessLocale());
    const ColumnSet partitions = partitionColumns();
    ASSERT_EQ(partitions.headers.size(), 10u);
    EXPECT_EQ(partitions.headers[1], "文件系统");
    EXPECT_EQ(partitions.widths[1], 8 + kPartitionColumnPadding);
    // Equal headers, equal widths.
    EXPECT_EQ(partitions.widths[4], partitions.widths[7]);
    EXPECT_EQ(partitions.widths[5], partitions.widths[8]);

    const ColumnSet files = fileColumns();
    EXPECT_EQ(files.headers,
              (std::vector<std::string>{"序号", "文件名", "创建时间", "大小", "状态", "路径"}));
    EXPECT_EQ(files.widths, (std::vector<int>{7, 33, 20, 10, 8, kPathColumnWidth}));
    // The widest time text and state fit their columns.
    EXPECT_GE(files.widths[2], displayWidth("2024/12/31 23:59:59"));
    EXPECT_GE(files.widths[kStateColumn], displayWidth("部分覆盖"));
    // The dialog's four columns fit a common terminal; the rest scrolls in.
    const ColumnSet four{{files.headers.begin(), files.headers.begin() + 4},
                         {files.widths.begin(), files.widths.begin() + 4}};
    EXPECT_LE(rowWidth(four), 80 - 2);
}

TEST(TerminalLayoutTest, RowsAreLaidOutInTheirColumns) {
    ASSERT_TRUE(initProcessLocale());
    ColumnSet set{{"a", "b"}, {4, 3}};
    EXPECT_EQ(rowWidth(set), 8);
    EXPECT_EQ(formatRow(set, {"报告.txt", "x"}), "报告│x  ");
    EXPECT_EQ(formatRow(set, {"ab"}), "ab  │   ");
    EXPECT_EQ(displayWidth(formatRow(set, {"报告.txt", "长长长"})), rowWidth(set));
}

TEST(TerminalLayoutTest, TabOrderFollowsTheTemplate) {
    EXPECT_EQ(nextInTabOrder(kPartitionList, 1), kSaveButton);
    EXPECT_EQ(nextInTabOrder(kSaveButton, 1), kFileList);
    EXPECT_EQ(nextInTabOrder(kFileList, 1), kScanButton);
    EXPECT_EQ(nextInTabOrder(kScanButton, 1), kPartitionList);
    EXPECT_EQ(nextInTabOrder(kPartitionList, -1), kScanButton);
    EXPECT_EQ(nextInTabOrder(kFileList, -1), kSaveButton);
}

}  // namespace
}  // namespace undelete::terminal
