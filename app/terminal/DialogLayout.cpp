#include "app/terminal/DialogLayout.h"

#include <algorithm>

namespace undelete::terminal {

DialogLayout layoutDialog(int rows, int columns, int partitionRows) {
    DialogLayout layout;
    if (rows < kMinimumRows || columns < kMinimumColumns) return layout;
    layout.fits = true;

    constexpr int kBoxOverhead = 3;  // two border lines and the header
    // Hint line, two list boxes, bottom line.
    const int shared = rows - 2 - 2 * kBoxOverhead;
    const int partitionPage = std::clamp(partitionRows, 2, std::max(2, shared / 3));
    const int filePage = shared - partitionPage;

    layout.hintRow = 0;
    layout.partitions.frame = {1, 0, partitionPage + kBoxOverhead, columns};
    layout.files.frame = {layout.partitions.frame.top + layout.partitions.frame.height, 0,
                          filePage + kBoxOverhead, columns};
    layout.bottomRow = rows - 1;
    // Read left to right: counters, then "扫描" and "保存" at the right end.
    layout.saveButton = {layout.bottomRow, columns - 1 - kButtonWidth, 1, kButtonWidth};
    layout.scanButton = {layout.bottomRow, layout.saveButton.left - 2 - kButtonWidth, 1,
                         kButtonWidth};
    return layout;
}

}  // namespace undelete::terminal
