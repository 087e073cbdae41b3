#include <gtest/gtest.h>

#include <algorithm>

#include "app/terminal/DialogLayout.h"
#include "app/terminal/KeyHints.h"
#include "app/terminal/ListColumns.h"
#include "app/terminal/ListModel.h"
#include "app/terminal/TerminalView.h"
#include "app/terminal/TextCells.h"
#include "common/SizeText.h"
#include "common/Text.h"
#include "partition/PartitionRows.h"

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

// The shown columns' sources, and whether every header is whole.
std::vector<int> shownOf(const ColumnSet& set) { return set.sources; }
bool headersWhole(const ColumnSet& set) {
    for (size_t i = 0; i < set.headers.size(); ++i) {
        if (set.widths[i] < displayWidth(set.headers[i])) return false;
    }
    return true;
}

TEST(TerminalLayoutTest, ColumnsFitTheWidthDroppingThePathFirstAndNeverCutAHeader) {
    ASSERT_TRUE(initProcessLocale());
    const std::vector<ColumnFit> files = fileColumnFits(100);
    // 80 columns (78 inside the frame): all but the deletion time, the path
    // narrowed.
    const ColumnSet at80 = fitColumns(files, 78);
    EXPECT_EQ(shownOf(at80), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(headersWhole(at80));
    EXPECT_LE(rowWidth(at80), 78);
    EXPECT_GE(at80.widths[2], displayWidth("2024/12/31 23:59:59"));
    // 200 columns: the name and the path share the room, to the last cell.
    const ColumnSet wide = fitColumns(files, 198);
    EXPECT_EQ(rowWidth(wide), 198);
    EXPECT_GT(wide.widths[1], 60);
    EXPECT_GT(wide.widths[5], 60);
    EXPECT_EQ(wide.sources.size(), 8u);
    // Narrower and narrower: the deletion time goes first, then the origin,
    // the path, the time and the state; what stays never grows and its
    // headers stay whole.
    std::vector<int> shown = shownOf(wide);
    std::vector<int> dropped;
    for (int width = 198; width >= 32; --width) {  // 32: row, name and size at their least
        const ColumnSet set = fitColumns(files, width);
        EXPECT_TRUE(headersWhole(set)) << width;
        EXPECT_LE(rowWidth(set), width) << width;
        for (int column : shown) {
            if (std::find(set.sources.begin(), set.sources.end(), column) == set.sources.end())
                dropped.push_back(column);
        }
        shown = set.sources;
    }
    EXPECT_EQ(dropped, (std::vector<int>{kDeletedColumn, kOriginColumn, kPathColumn, 2, kStateColumn}));

    // The partition list: each column as wide as its header and texts;
    // the ten fit 80 columns, and the end of the geometry goes first.
    ListModel rows(kPartitionColumns, false);
    rows.insertRow(0, "0", 0);
    const char* const texts[] = {"FAT32(活动)", "0C", "1023", "254", "63", "1023", "254", "63",
                                 "1862.6 GiB"};
    for (int c = 1; c < kPartitionColumns; ++c) rows.setText(0, c, texts[c - 1]);
    const std::vector<ColumnFit> partitions = partitionColumnFits(rows);
    const ColumnSet all = fitColumns(partitions, 78);
    EXPECT_EQ(all.sources.size(), 10u);
    EXPECT_TRUE(headersWhole(all));
    EXPECT_GE(all.widths[9], displayWidth("1862.6 GiB"));
    const ColumnSet narrow = fitColumns(partitions, 60);
    EXPECT_LE(rowWidth(narrow), 60);
    EXPECT_EQ(std::find(narrow.sources.begin(), narrow.sources.end(), 8), narrow.sources.end());
    EXPECT_EQ(narrow.sources.front(), 0);
    EXPECT_EQ(narrow.sources.back(), 9);
}

TEST(TerminalLayoutTest, TheHintLineKeepsWholeHintsAndTheHelpAndCloseKeys) {
    for (const ControlId focus : {kPartitionList, kFileList, kSaveButton, kScanButton}) {
        for (int width = 30; width <= 120; ++width) {
            const std::string line = hintLine(focus, width);
            if (width >= 40) {
                EXPECT_LE(displayWidth(line), width) << width;
            }
            const std::string tail = "? 帮助   F10 关闭";
            EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
        }
        // At 80 columns, every hint; the whole of them under the help key.
        EXPECT_NE(hintLine(focus, 78).find("Tab 切换"), std::string::npos);
        EXPECT_NE(keyHelp(focus).find("F10 关闭"), std::string::npos);
    }
    EXPECT_NE(hintLine(kPartitionList, 78).find("方向键 移动"), std::string::npos);
    EXPECT_EQ(hintLine(kPartitionList, 40).find("方向键 移动"), std::string::npos);
}

TEST(TerminalLayoutTest, RowsAreLaidOutInTheirColumns) {
    ASSERT_TRUE(initProcessLocale());
    ColumnSet set{{"a", "b"}, {4, 3}, {}};
    EXPECT_EQ(rowWidth(set), 8);
    EXPECT_EQ(formatRow(set, {"报告.txt", "x"}), "报告│x  ");
    EXPECT_EQ(formatRow(set, {"ab"}), "ab  │   ");
    EXPECT_EQ(displayWidth(formatRow(set, {"报告.txt", "长长长"})), rowWidth(set));
    // A dropped column's text is not shown: texts go by source column.
    const ColumnSet skipping{{"a", "c"}, {2, 2}, {0, 2}};
    EXPECT_EQ(formatRow(skipping, {"x", "y", "z"}), "x │z ");
    EXPECT_EQ(formatHeaders(skipping), "a │c ");
}

TEST(TerminalLayoutTest, SizesReadInBinaryUnits) {
    EXPECT_EQ(binarySizeText(0), "0 B");
    EXPECT_EQ(binarySizeText(1023), "1023 B");
    EXPECT_EQ(binarySizeText(1536), "1.5 KiB");
    EXPECT_EQ(binarySizeText(64ull << 20), "64.0 MiB");
    EXPECT_EQ(binarySizeText((1ull << 20) - 1), "1.0 MiB");  // not "1024.0 KiB"
    EXPECT_EQ(binarySizeText(2000398934016ull), "1863.0 GiB");
    // Sectors counted past 64 bits of bytes do not wrap.
    EXPECT_EQ(binarySizeText(1ull << 62, 4096), binarySizeText(1ull << 62, 4096));
    EXPECT_NE(binarySizeText(1ull << 62, 4096).find(" GiB"), std::string::npos);
    EXPECT_EQ(binarySizeText(131072, 512), "64.0 MiB");
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
