#include "app/terminal/ListColumns.h"

#include <algorithm>

#include "app/Language.h"
#include "app/ScanShell.h"
#include "app/terminal/FileOrder.h"
#include "app/terminal/ListModel.h"
#include "app/terminal/TextCells.h"
#include "partition/PartitionRows.h"

namespace undelete::terminal {
namespace {

// Cells a partition column gets beyond its texts where there is room (the
// dialog widens each by 40 pixels).
constexpr int kPartitionPadding = 4;
// The name and the path: what they want, and the least they keep.
constexpr int kNameWidth = 33;  // the dialog's 200 pixels
constexpr int kNameMinimum = 16;
constexpr int kPathWidth = 32;
constexpr int kPathMinimum = 12;
// "2024/12/31 23:59:59", "1023.9 KiB"
constexpr int kTimeWidth = 19;
constexpr int kSizeWidth = 10;

// Drop ranks of the partition list's columns, left to right.
constexpr int kPartitionDropRanks[kPartitionColumns] = {0, 0, 7, 6, 5, 4, 3, 2, 1, 0};

int digits(int value) {
    int count = 1;
    for (; value >= 10; value /= 10) ++count;
    return count;
}

int total(const std::vector<int>& widths, const std::vector<bool>& shown) {
    int sum = -1;  // n columns, n − 1 separators
    for (size_t i = 0; i < widths.size(); ++i) {
        if (shown[i]) sum += widths[i] + 1;
    }
    return std::max(sum, 0);
}

// Takes up to `excess` cells from the shown columns of `rank`, one cell a
// column in turn; returns what is still to take.
int shrink(const std::vector<ColumnSpec>& specs, const std::vector<bool>& shown, int rank,
           std::vector<int>& widths, int excess) {
    for (bool took = true; excess > 0 && took;) {
        took = false;
        for (size_t i = specs.size(); i-- > 0 && excess > 0;) {
            if (!shown[i] || specs[i].shrinkRank != rank) continue;
            const int floor = std::max(specs[i].minimum, displayWidth(specs[i].header));
            if (widths[i] <= floor) continue;
            --widths[i];
            --excess;
            took = true;
        }
    }
    return excess;
}

}  // namespace

const char* const kPathHeader = "路径";
const char* const kStateHeader = "状态";

std::vector<ColumnSpec> partitionColumnSpecs(const ListModel& rows) {
    std::vector<ColumnSpec> specs;
    for (int c = 0; c < kPartitionColumns; ++c) {
        ColumnSpec spec;
        spec.header = tr(kPartitionColumnHeaders[c]);
        spec.minimum = displayWidth(spec.header);
        for (int r = 0; r < rows.rowCount(); ++r)
            spec.minimum = std::max(spec.minimum, displayWidth(rows.text(r, c)));
        spec.width = spec.minimum + kPartitionPadding;
        spec.shrinkRank = 1;
        spec.dropRank = kPartitionDropRanks[c];
        specs.push_back(spec);
    }
    return specs;
}

std::vector<ColumnSpec> fileColumnSpecs(int rowCount) {
    std::vector<ColumnSpec> specs(kFileColumns);
    for (int c = 0; c < 4; ++c) specs[static_cast<size_t>(c)].header = tr(kFileColumnHeaders[c]);
    specs[kStateColumn].header = tr(kStateHeader);
    specs[kPathColumn].header = tr(kPathHeader);

    specs[0].width = digits(std::max(rowCount - 1, 0));
    specs[1].width = kNameWidth;
    specs[1].minimum = kNameMinimum;
    specs[1].shrinkRank = 2;
    specs[1].grows = true;
    specs[2].width = kTimeWidth;
    specs[2].dropRank = 2;
    specs[3].width = kSizeWidth;
    for (const FileState state : {FileState::Unknown, FileState::Intact, FileState::Partial,
                                  FileState::Overwritten, FileState::Encrypted}) {
        specs[kStateColumn].width =
            std::max(specs[kStateColumn].width, displayWidth(tr(stateText(state))));
    }
    specs[kStateColumn].dropRank = 3;
    specs[kPathColumn].width = kPathWidth;
    specs[kPathColumn].minimum = kPathMinimum;
    specs[kPathColumn].shrinkRank = 1;
    specs[kPathColumn].dropRank = 1;
    specs[kPathColumn].grows = true;
    for (ColumnSpec& spec : specs) {
        spec.minimum = std::max(spec.minimum, displayWidth(spec.header));
        spec.width = std::max(spec.width, displayWidth(spec.header));
        if (spec.shrinkRank == 0) spec.minimum = spec.width;
    }
    return specs;
}

ColumnSet fitColumns(const std::vector<ColumnSpec>& specs, int width) {
    std::vector<bool> shown(specs.size(), true);
    std::vector<int> widths;
    int excess = 0;
    for (;;) {
        widths.clear();
        for (const ColumnSpec& spec : specs)
            widths.push_back(std::max(spec.width, displayWidth(spec.header)));
        excess = total(widths, shown) - width;
        int lastRank = 0;
        for (const ColumnSpec& spec : specs) lastRank = std::max(lastRank, spec.shrinkRank);
        for (int rank = 1; rank <= lastRank && excess > 0; ++rank)
            excess = shrink(specs, shown, rank, widths, excess);
        if (excess <= 0) break;
        // The next column to go: the lowest drop rank still shown.
        size_t drop = specs.size();
        for (size_t i = 0; i < specs.size(); ++i) {
            if (shown[i] && specs[i].dropRank > 0 &&
                (drop == specs.size() || specs[i].dropRank < specs[drop].dropRank))
                drop = i;
        }
        if (drop == specs.size()) break;
        shown[drop] = false;
    }
    // Cells to spare go to the growing columns, one at a time in turn.
    for (bool gave = true; excess < 0 && gave;) {
        gave = false;
        for (size_t i = 0; i < specs.size() && excess < 0; ++i) {
            if (!shown[i] || !specs[i].grows) continue;
            ++widths[i];
            ++excess;
            gave = true;
        }
    }
    ColumnSet set;
    for (size_t i = 0; i < specs.size(); ++i) {
        if (!shown[i]) continue;
        set.headers.push_back(specs[i].header);
        set.widths.push_back(widths[i]);
        set.sources.push_back(static_cast<int>(i));
    }
    return set;
}

int rowWidth(const ColumnSet& columns) {
    int width = 0;
    for (int w : columns.widths) width += w;
    if (!columns.widths.empty()) width += static_cast<int>(columns.widths.size()) - 1;
    return width;
}

std::string formatHeaders(const ColumnSet& columns) {
    ColumnSet inOrder = columns;
    inOrder.sources.clear();
    return formatRow(inOrder, columns.headers);
}

std::string formatRow(const ColumnSet& columns, const std::vector<std::string>& texts) {
    static const std::string kGrid = "\xE2\x94\x82";  // │
    std::string line;
    for (size_t i = 0; i < columns.widths.size(); ++i) {
        if (i > 0) line += kGrid;
        const size_t source = i < columns.sources.size() ? static_cast<size_t>(columns.sources[i]) : i;
        line += padToWidth(source < texts.size() ? texts[source] : std::string(), columns.widths[i]);
    }
    return line;
}

}  // namespace undelete::terminal
