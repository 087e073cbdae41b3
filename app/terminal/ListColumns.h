// The columns of the two lists in terminal cells, and the text of a row
// laid out in them. Headers are in the user's message language.
#pragma once
#include <string>
#include <vector>

namespace undelete::terminal {

struct ColumnSet {
    std::vector<std::string> headers;
    std::vector<int> widths;  // cells of text, without the separator
};

// A column takes about this many pixels of the dialog per cell (the width
// of a digit in the dialog font); wide characters take two cells.
constexpr int kPixelsPerCell = 6;
// The dialog widens each partition column by 40 pixels beyond its header;
// in cells that is a little less, so the list fits a common terminal.
constexpr int kPartitionColumnPadding = 4;

// Ten columns, each as wide as its header plus the padding.
ColumnSet partitionColumns();
// The dialog's four columns with its pixel widths turned into cells, then
// the file's state and its folder inside the volume.
ColumnSet fileColumns();
constexpr int kFileColumns = 6;
constexpr int kStateColumn = 4;
constexpr int kPathColumn = 5;
extern const char* const kPathHeader;   // "路径"
extern const char* const kStateHeader;  // "状态"
constexpr int kPathColumnWidth = 32;
constexpr int kStateColumnWidth = 8;

// Cells that a whole row takes: the columns and the one-cell separators
// between them.
int rowWidth(const ColumnSet& columns);

// The row's texts, each clipped and padded to its column, joined with the
// grid line. Missing texts are blank.
std::string formatRow(const ColumnSet& columns, const std::vector<std::string>& texts);

}  // namespace undelete::terminal
