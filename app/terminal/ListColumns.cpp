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
// 11: at 80 columns the Chinese origin column still fits beside it.
constexpr int kPathMinimum = 11;
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
int shrink(const std::vector<ColumnFit>& fits, const std::vector<bool>& shown, int rank,
           std::vector<int>& widths, int excess) {
    for (bool took = true; excess > 0 && took;) {
        took = false;
        for (size_t i = fits.size(); i-- > 0 && excess > 0;) {
            if (!shown[i] || fits[i].shrinkRank != rank) continue;
            const int floor = std::max(fits[i].minimum, displayWidth(fits[i].header));
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
const char* const kOriginHeader = "来源";
const char* const kDeletedHeader = "删除时间";

std::vector<ColumnFit> partitionColumnFits(const ListModel& rows) {
    std::vector<ColumnFit> fits;
    for (int c = 0; c < kPartitionColumns; ++c) {
        ColumnFit fit;
        fit.header = tr(kPartitionColumnHeaders[c]);
        fit.minimum = displayWidth(fit.header);
        for (int r = 0; r < rows.rowCount(); ++r)
            fit.minimum = std::max(fit.minimum, displayWidth(rows.text(r, c)));
        fit.width = fit.minimum + kPartitionPadding;
        fit.shrinkRank = 1;
        fit.dropRank = kPartitionDropRanks[c];
        fits.push_back(fit);
    }
    return fits;
}

std::vector<ColumnFit> fileColumnFits(int rowCount) {
    std::vector<ColumnFit> fits(kFileColumns);
    for (int c = 0; c < 4; ++c) fits[static_cast<size_t>(c)].header = tr(kFileColumnHeaders[c]);
    fits[kStateColumn].header = tr(kStateHeader);
    fits[kPathColumn].header = tr(kPathHeader);
    fits[kOriginColumn].header = tr(kOriginHeader);
    fits[kDeletedColumn].header = tr(kDeletedHeader);

    fits[0].width = digits(std::max(rowCount - 1, 0));
    fits[1].width = kNameWidth;
    fits[1].minimum = kNameMinimum;
    fits[1].shrinkRank = 2;
    fits[1].grows = true;
    fits[2].width = kTimeWidth;
    fits[2].dropRank = 4;
    fits[3].width = kSizeWidth;
    for (const FileState state : {FileState::Unknown, FileState::Intact, FileState::Partial,
                                  FileState::Overwritten, FileState::Encrypted}) {
        fits[kStateColumn].width =
            std::max(fits[kStateColumn].width, displayWidth(tr(stateText(state))));
    }
    fits[kStateColumn].dropRank = 5;
    fits[kPathColumn].width = kPathWidth;
    fits[kPathColumn].minimum = kPathMinimum;
    fits[kPathColumn].shrinkRank = 1;
    fits[kPathColumn].dropRank = 3;
    for (const FileOrigin origin :
         {FileOrigin::Table, FileOrigin::Orphan, FileOrigin::Search, FileOrigin::Carved}) {
        fits[kOriginColumn].width =
            std::max(fits[kOriginColumn].width, displayWidth(tr(originText(origin))));
    }
    fits[kOriginColumn].dropRank = 2;
    fits[kPathColumn].grows = true;
    fits[kDeletedColumn].width = kTimeWidth;
    fits[kDeletedColumn].dropRank = 1;
    for (ColumnFit& fit : fits) {
        fit.minimum = std::max(fit.minimum, displayWidth(fit.header));
        fit.width = std::max(fit.width, displayWidth(fit.header));
        if (fit.shrinkRank == 0) fit.minimum = fit.width;
    }
    return fits;
}

ColumnSet fitColumns(const std::vector<ColumnFit>& fits, int width) {
    std::vector<bool> shown(fits.size(), true);
    std::vector<int> widths;
    int excess = 0;
    for (;;) {
        widths.clear();
        for (const ColumnFit& fit : fits)
            widths.push_back(std::max(fit.width, displayWidth(fit.header)));
        excess = total(widths, shown) - width;
        int lastRank = 0;
        for (const ColumnFit& fit : fits) lastRank = std::max(lastRank, fit.shrinkRank);
        for (int rank = 1; rank <= lastRank && excess > 0; ++rank)
            excess = shrink(fits, shown, rank, widths, excess);
        if (excess <= 0) break;
        // The next column to go: the lowest drop rank still shown.
        size_t drop = fits.size();
        for (size_t i = 0; i < fits.size(); ++i) {
            if (shown[i] && fits[i].dropRank > 0 &&
                (drop == fits.size() || fits[i].dropRank < fits[drop].dropRank))
                drop = i;
        }
        if (drop == fits.size()) break;
        shown[drop] = false;
    }
    // Cells to spare go to the growing columns, one at a time in turn.
    for (bool gave = true; excess < 0 && gave;) {
        gave = false;
        for (size_t i = 0; i < fits.size() && excess < 0; ++i) {
            if (!shown[i] || !fits[i].grows) continue;
            ++widths[i];
            ++excess;
            gave = true;
        }
    }
    ColumnSet set;
    for (size_t i = 0; i < fits.size(); ++i) {
        if (!shown[i]) continue;
        set.headers.push_back(fits[i].header);
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
