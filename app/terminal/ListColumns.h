// The columns of the two lists in terminal cells, fitted to the width the
// list has, and the text of a row laid out in them. Headers are in the
// user's message language and are never cut: a column that cannot have
// its header's width is left out instead.
#pragma once
#include <string>
#include <vector>

namespace undelete::terminal {

class ListModel;

// What a column wants. When a row is wider than the list, columns shrink
// towards their minimum by rank (1 first, round-robin within a rank); when
// even that does not fit, they are dropped by rank (1 first). Cells left
// over go to the columns that grow.
struct ColumnFit {
    std::string header;
    int width = 0;       // wanted cells
    int minimum = 0;     // fewest cells (never fewer than its header's)
    int shrinkRank = 0;  // 0: keeps its width
    int dropRank = 0;    // 0: never dropped
    bool grows = false;
};

// The columns as drawn.
struct ColumnSet {
    std::vector<std::string> headers;
    std::vector<int> widths;   // cells of text, without the separator
    std::vector<int> sources;  // the model column each one shows; empty: the same index
};

// The partition list's ten columns, each as wide as its header and the
// widest of its texts in `rows`, with a little room to spare where there
// is room. The cylinder, head and sector columns are dropped first (the
// end ones before the start ones), then the type; the row number, file
// system and capacity stay.
std::vector<ColumnFit> partitionColumnFits(const ListModel& rows);

// The file list: the dialog's four columns (row, name, creation time, size),
// then the file's state, its folder inside the volume, where it was found
// and the deletion time a recycle bin's record gave. The path shrinks
// first, then the name; when the terminal is narrower still, the deletion
// time goes first (empty for most files), then where it was found (the
// path tells it for most files), then the path, the time and the state.
// The name and the path share the cells left over. `rowCount` sizes the
// row-number column.
std::vector<ColumnFit> fileColumnFits(int rowCount);
constexpr int kFileColumns = 8;
constexpr int kStateColumn = 4;
constexpr int kPathColumn = 5;
constexpr int kOriginColumn = 6;
constexpr int kDeletedColumn = 7;
extern const char* const kPathHeader;     // "路径"
extern const char* const kStateHeader;    // "状态"
extern const char* const kOriginHeader;   // "来源"
extern const char* const kDeletedHeader;  // "删除时间"

// The columns that fit `width` cells, and their widths. When not even the
// columns that are never dropped fit at their minimum, the row is wider
// than `width` (the list then scrolls sideways).
ColumnSet fitColumns(const std::vector<ColumnFit>& fits, int width);

// Cells that a whole row takes: the columns and the one-cell separators
// between them.
int rowWidth(const ColumnSet& columns);

// The header line: each header padded to its column.
std::string formatHeaders(const ColumnSet& columns);

// The row's texts (by model column), each clipped and padded to its
// column, joined with the grid line. Missing texts are blank.
std::string formatRow(const ColumnSet& columns, const std::vector<std::string>& texts);

}  // namespace undelete::terminal
