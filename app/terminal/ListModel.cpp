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
    // The cursor and anchor stay on the rows they were on.
    if (cursor_ >= position) ++cursor_;
    if (anchor_ >= position) ++anchor_;
}

void ListModel::setText(int row, int column, const std::string& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columns_) return;
    rows_[static_cast<size_t>(row)].texts[static_cast<size_t>(column)] = text;
}

void ListModel::clear() {
    rows_.clear();
    cursor_ = -1;
    anchor_ = -1;
    top_ = 0;
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
    for (int i = 0; i < rowCount(); ++i) {
        if (rows_[static_cast<size_t>(i)].selected) return i;
    }
    return -1;
}

int ListModel::selectedCount() const {
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.selected; }));
}

void ListModel::moveCursor(int delta, SelectMode mode) {
    if (rows_.empty()) return;
    if (cursor_ < 0) {
        moveCursorTo(0, mode);
        return;
    }
    const long target = static_cast<long>(cursor_) + delta;
    moveCursorTo(static_cast<int>(std::clamp<long>(target, 0, rowCount() - 1)), mode);
}

void ListModel::moveCursorTo(int row, SelectMode mode) {
    if (rows_.empty()) return;
    cursor_ = std::clamp(row, 0, rowCount() - 1);
    select(cursor_, mode);
}

void ListModel::select(int row, SelectMode mode) {
    if (!multiple_ && mode != SelectMode::Keep) mode = SelectMode::Replace;
    switch (mode) {
    case SelectMode::Keep: return;
    case SelectMode::Replace:
        for (Row& r : rows_) r.selected = false;
        rows_[static_cast<size_t>(row)].selected = true;
        anchor_ = row;
        return;
    case SelectMode::Extend: {
        if (anchor_ < 0) anchor_ = row;
        const int from = std::min(anchor_, row);
        const int to = std::max(anchor_, row);
        for (int i = 0; i < rowCount(); ++i) {
            rows_[static_cast<size_t>(i)].selected = i >= from && i <= to;
        }
        return;
    }
    }
}

void ListModel::toggleCursorRow() {
    if (rows_.empty()) return;
    if (cursor_ < 0) {
        moveCursorTo(0, SelectMode::Replace);
        return;
    }
    if (!multiple_) {
        select(cursor_, SelectMode::Replace);
        return;
    }
    Row& row = rows_[static_cast<size_t>(cursor_)];
    row.selected = !row.selected;
    anchor_ = cursor_;
}

void ListModel::toggleRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    cursor_ = row;
    toggleCursorRow();
}

void ListModel::clampTop(int pageRows) {
    if (pageRows < 1) pageRows = 1;
    top_ = std::clamp(top_, 0, std::max(0, rowCount() - pageRows));
}

void ListModel::scrollBy(int delta, int pageRows) {
    top_ += delta;
    clampTop(pageRows);
}

void ListModel::revealCursor(int pageRows) {
    if (pageRows < 1) pageRows = 1;
    if (cursor_ >= 0) {
        if (cursor_ < top_) top_ = cursor_;
        if (cursor_ >= top_ + pageRows) top_ = cursor_ - pageRows + 1;
    }
    clampTop(pageRows);
}

void ListModel::scrollSideways(int delta, int contentWidth, int visibleWidth) {
    left_ = std::clamp(left_ + delta, 0, std::max(0, contentWidth - visibleWidth));
}

}  // namespace undelete::terminal
