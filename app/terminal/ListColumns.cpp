#include "app/terminal/ListColumns.h"

#include <algorithm>

#include "app/Language.h"
#include "app/ScanShell.h"
#include "app/terminal/TextCells.h"
#include "partition/PartitionRows.h"

namespace undelete::terminal {

const char* const kPathHeader = "路径";
const char* const kStateHeader = "状态";

ColumnSet partitionColumns() {
    ColumnSet set;
    for (const char* header : kPartitionColumnHeaders) {
        set.headers.emplace_back(tr(header));
        set.widths.push_back(displayWidth(set.headers.back()) + kPartitionColumnPadding);
    }
    return set;
}

ColumnSet fileColumns() {
    ColumnSet set;
    for (size_t i = 0; i < 4; ++i) {
        set.headers.emplace_back(tr(kFileColumnHeaders[i]));
        // Rounded to the nearest cell.
        set.widths.push_back((kFileColumnWidths[i] + kPixelsPerCell / 2) / kPixelsPerCell);
    }
    // Beyond the dialog's four: how intact the file is (short, so it shows
    // on a common terminal) and where it was.
    set.headers.emplace_back(tr(kStateHeader));
    set.widths.push_back(std::max(kStateColumnWidth, displayWidth(set.headers.back())));
    set.headers.emplace_back(tr(kPathHeader));
    set.widths.push_back(kPathColumnWidth);
    return set;
}

int rowWidth(const ColumnSet& columns) {
    int width = 0;
    for (int w : columns.widths) width += w;
    if (!columns.widths.empty()) width += static_cast<int>(columns.widths.size()) - 1;
    return width;
}

std::string formatRow(const ColumnSet& columns, const std::vector<std::string>& texts) {
    static const std::string kGrid = "\xE2\x94\x82";  // │
    std::string line;
    for (size_t i = 0; i < columns.widths.size(); ++i) {
        if (i > 0) line += kGrid;
        line += padToWidth(i < texts.size() ? texts[i] : std::string(), columns.widths[i]);
    }
    return line;
}

}  // namespace undelete::terminal
