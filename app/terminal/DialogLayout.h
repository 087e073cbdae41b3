// Where the dialog's parts go on a terminal of a given size: a line of key
// hints, the partition list, the deleted-file list and the bottom line with
// the counters and the two buttons.
#pragma once

namespace undelete::terminal {

struct Rect {
    int top = 0;
    int left = 0;
    int height = 0;
    int width = 0;
    bool contains(int row, int column) const {
        return row >= top && row < top + height && column >= left && column < left + width;
    }
};

// A list box: border, header line, then the rows.
struct ListBox {
    Rect frame;
    int headerRow() const { return frame.top + 1; }
    int firstRow() const { return frame.top + 2; }
    int pageRows() const { return frame.height - 3; }
    int innerLeft() const { return frame.left + 1; }
    int innerWidth() const { return frame.width - 2; }
};

struct DialogLayout {
    bool fits = false;  // false: the terminal is too small to draw the dialog
    int hintRow = 0;
    ListBox partitions;
    ListBox files;
    int bottomRow = 0;
    Rect scanButton;
    Rect saveButton;
};

constexpr int kMinimumColumns = 66;
constexpr int kMinimumRows = 16;
// Cells of a button: "[ " caption(4 cells) " ]".
constexpr int kButtonWidth = 8;

// Lays the dialog out on `rows` × `columns` cells. The partition list gets
// room for its rows, at least two and at most about a third of the space
// the lists share; the deleted-file list takes the rest.
DialogLayout layoutDialog(int rows, int columns, int partitionRows);

}  // namespace undelete::terminal
