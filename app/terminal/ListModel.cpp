#include "app/terminal/ListModel.h"

#include <algorithm>

namespace undelete::terminal {

ListModel::ListModel(int columns, bool multipleSelection)
    : columns_(columns < 1 ? 1 : columns), multiple_(multipleSelection) {}

void ListModel::insertRow(int position, const std::string& firstText, uintptr_t itemData) {
    position = std::clamp(position, 0, rowCount());
    Row row;
    row.texts.assign(static_cast<size_t>(columns_), std::string());
    row.texts[0] = firstText;
    row.itemData = itemData;
    rows_.insert(rows_.begin() + position, std::move(row));
    // The rows from `position` on moved down; the cursor and anchor stay on
    // the rows they were on.
    if (position + 1 < rowCount()) {
        for (int& r : lines_) {
            if (r >= position) ++r;
        }
    }
    if (cursor_ >= position) ++cursor_;
    if (anchor_ >= position) ++anchor_;
    if (identityOrder()) {
        lines_.insert(lines_.begin() + position, position);
    } else {
        lines_.push_back(position);  // until placeRow knows where it goes
    }
}

void ListModel::setText(int row, int column, const std::string& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columns_) return;
    rows_[static_cast<size_t>(row)].texts[static_cast<size_t>(column)] = text;
}

void ListModel::clear() {
    rows_.clear();
    lines_.clear();
    cursor_ = -1;
    anchor_ = -1;
    top_ = 0;
}

int ListModel::rowAtLine(int line) const {
    if (line < 0 || line >= lineCount()) return -1;
    return lines_[static_cast<size_t>(line)];
}

int ListModel::lineOf(int row) const {
    if (row < 0) return -1;
    // In row order a row is its own line; otherwise look it up (a paint or
    // a key needs this once, so a linear search is cheap enough).
    if (row < lineCount() && lines_[static_cast<size_t>(row)] == row) return row;
    const auto at = std::find(lines_.begin(), lines_.end(), row);
    return at == lines_.end() ? -1 : static_cast<int>(at - lines_.begin());
}

void ListModel::setOrder(RowBefore before, RowShown shown) {
    before_ = std::move(before);
    shown_ = std::move(shown);
    lines_.clear();
    for (int row = 0; row < rowCount(); ++row) {
        if (!shown_ || shown_(row)) {
            lines_.push_back(row);
        } else {
            rows_[static_cast<size_t>(row)].selected = false;
        }
    }
    if (before_) std::stable_sort(lines_.begin(), lines_.end(), before_);
    if (lineOf(cursor_) < 0) cursor_ = -1;
    anchor_ = cursor_;
    top_ = 0;
}

void ListModel::placeRow(int row) {
    if (row < 0 || row >= rowCount() || identityOrder()) return;
    // A new row sits at the end: look there first.
    auto at = std::find(lines_.rbegin(), lines_.rend(), row);
    if (at != lines_.rend()) lines_.erase(std::next(at).base());
    if (shown_ && !shown_(row)) {
        rows_[static_cast<size_t>(row)].selected = false;
        if (cursor_ == row) cursor_ = -1;
        return;
    }
    const auto place = before_ ? std::upper_bound(lines_.begin(), lines_.end(), row,
                                                  [&](int a, int b) {
                                                      if (before_(a, b)) return true;
                                                      return !before_(b, a) && a < b;
                                                  })
                               : std::upper_bound(lines_.begin(), lines_.end(), row);
    lines_.insert(place, row);
}

const std::string& ListModel::text(int row, int column) const {
    static const std::string empty;
    if (row < 0 || row >= rowCount() || column < 0 || column >= columns_) return empty;
    return rows_[static_cast<size_t>(row)].texts[static_cast<size_t>(column)];
}

uintptr_t ListModel::itemData(int row) const {
    if (row < 0 || row >= rowCount()) return 0;
    return rows_[static_cast<size_t>(row)].itemData;
}

bool ListModel::isSelected(int row) const {
    return row >= 0 && row < rowCount() && rows_[static_cast<size_t>(row)].selected;
}

int ListModel::firstSelected() const {
    for (int row : lines_) {
        if (rows_[static_cast<size_t>(row)].selected) return row;
    }
    return -1;
}

std::vector<int> ListModel::selectedRows() const {
    std::vector<int> rows;
    for (int row : lines_) {
        if (rows_[static_cast<size_t>(row)].selected) rows.push_back(row);
    }
    return rows;
}

int ListModel::selectedCount() const {
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.selected; }));
}

int ListModel::cursor() const {
    return lineOf(cursor_);
}

void ListModel::moveCursor(int delta, SelectMode mode) {
    if (lines_.empty()) return;
    const int line = cursor();
    if (line < 0) {
        moveCursorTo(0, mode);
        return;
    }
    const long target = static_cast<long>(line) + delta;
    moveCursorTo(static_cast<int>(std::clamp<long>(target, 0, lineCount() - 1)), mode);
}

void ListModel::moveCursorTo(int line, SelectMode mode) {
    if (lines_.empty()) return;
    line = std::clamp(line, 0, lineCount() - 1);
    cursor_ = lines_[static_cast<size_t>(line)];
    select(line, mode);
}

void ListModel::select(int line, SelectMode mode) {
    if (!multiple_ && mode != SelectMode::Keep) mode = SelectMode::Replace;
    const int row = lines_[static_cast<size_t>(line)];
    switch (mode) {
    case SelectMode::Keep: return;
    case SelectMode::Move: anchor_ = row; return;
    case SelectMode::Replace:
        for (Row& r : rows_) r.selected = false;
        rows_[static_cast<size_t>(row)].selected = true;
        anchor_ = row;
        return;
    case SelectMode::Extend: {
        int anchorLine = lineOf(anchor_);
        if (anchorLine < 0) {
            anchor_ = row;
            anchorLine = line;
        }
        const int from = std::min(anchorLine, line);
        const int to = std::max(anchorLine, line);
        for (Row& r : rows_) r.selected = false;
        for (int i = from; i <= to; ++i) rows_[static_cast<size_t>(lines_[i])].selected = true;
        return;
    }
    }
}

void ListModel::toggleCursorRow() {
    if (lines_.empty()) return;
    if (cursor() < 0) {
        moveCursorTo(0, SelectMode::Replace);
        return;
    }
    if (!multiple_) {
        select(cursor(), SelectMode::Replace);
        return;
    }
    Row& row = rows_[static_cast<size_t>(cursor_)];
    row.selected = !row.selected;
    anchor_ = cursor_;
}

void ListModel::toggleRow(int line) {
    if (line < 0 || line >= lineCount()) return;
    cursor_ = lines_[static_cast<size_t>(line)];
    toggleCursorRow();
}

void ListModel::clampTop(int pageRows) {
    if (pageRows < 1) pageRows = 1;
    top_ = std::clamp(top_, 0, std::max(0, lineCount() - pageRows));
}

void ListModel::scrollBy(int delta, int pageRows) {
    top_ += delta;
    clampTop(pageRows);
}

void ListModel::revealCursor(int pageRows) {
    if (pageRows < 1) pageRows = 1;
    const int line = cursor();
    if (line >= 0) {
        if (line < top_) top_ = line;
        if (line >= top_ + pageRows) top_ = line - pageRows + 1;
    }
    clampTop(pageRows);
}

void ListModel::scrollSideways(int delta, int contentWidth, int visibleWidth) {
    left_ = std::clamp(left_ + delta, 0, std::max(0, contentWidth - visibleWidth));
}

}  // namespace undelete::terminal
