// A report-view list as the terminal shows it: rows of column texts with
// item data, the selection, the cursor (the focused row) and the scroll
// position. No drawing here, so every rule can be tested on its own.
//
// Rows keep the positions the shell gave them; the list shows them as
// lines, in row order or in an order and subset of the face's choosing
// (sorted, filtered). The cursor and the selection belong to rows, so they
// stay with their rows when the order changes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace undelete::terminal {

// How a cursor move treats the selection.
enum class SelectMode {
    Replace,  // the cursor row becomes the only selected row
    Extend,   // rows from the anchor to the cursor are selected (Shift)
    Keep,     // the selection stays as it is (Ctrl)
    Move,     // a plain move: the selection stays where several rows may be
              // selected (the anchor follows the cursor), else it follows
};

class ListModel {
public:
    ListModel(int columns, bool multipleSelection);

    int columns() const { return columns_; }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    int lineCount() const { return static_cast<int>(lines_.size()); }
    int rowAtLine(int line) const;  // −1 when absent

    // The order of the lines: `before` compares two rows (ties keep row
    // order), `shown` picks the rows to show. Empty functions: every row, in
    // row order. Selected rows that are no longer shown are deselected, so
    // nothing hidden is acted on.
    using RowBefore = std::function<bool(int a, int b)>;
    using RowShown = std::function<bool(int row)>;
    void setOrder(RowBefore before, RowShown shown);
    // Puts `row` where the order wants it, once its values are known (a
    // row is shown at the end until then).
    void placeRow(int row);

    // Inserts a row at `position` (clamped to 0 … rowCount) with the text of
    // column 0; rows from there on move down, keeping their selection.
    void insertRow(int position, const std::string& firstText, uintptr_t itemData);
    // Ignored for a row or column that does not exist.
    void setText(int row, int column, const std::string& text);
    void clear();

    const std::string& text(int row, int column) const;  // "" when absent
    uintptr_t itemData(int row) const;                   // 0 when absent

    bool isSelected(int row) const;
    int firstSelected() const;  // the row of the first selected line; −1: none
    std::vector<int> selectedRows() const;  // in line order
    int selectedCount() const;
    // The cursor's line; −1: no row has been focused yet (or it is hidden).
    int cursor() const;

    // Moves the cursor by `delta` lines (clamped to the list); with no
    // cursor yet, any move lands on the first line.
    void moveCursor(int delta, SelectMode mode);
    // Moves the cursor to `line` (clamped), e.g. Home, End or a click.
    void moveCursorTo(int line, SelectMode mode);
    // Space: flips the cursor row in a multiple-selection list; selects it
    // in a single-selection one.
    void toggleCursorRow();
    // A click with Ctrl: flips `row` and puts the cursor there.
    void toggleRow(int row);

    // Vertical scrolling: the first line shown. `pageRows` is how many rows
    // the list has room for; the drawer passes it on every call.
    int top() const { return top_; }
    void scrollBy(int delta, int pageRows);
    // Scrolls as little as needed to show the cursor row.
    void revealCursor(int pageRows);

    // Horizontal scrolling in cells, for columns wider than the screen.
    int leftCell() const { return left_; }
    void scrollSideways(int delta, int contentWidth, int visibleWidth);

private:
    void select(int line, SelectMode mode);
    void clampTop(int pageRows);
    int lineOf(int row) const;  // −1: not shown
    bool identityOrder() const { return !before_ && !shown_; }

    struct Row {
        std::vector<std::string> texts;
        uintptr_t itemData = 0;
        bool selected = false;
    };

    int columns_;
    bool multiple_;
    std::vector<Row> rows_;
    std::vector<int> lines_;  // the row of each line
    RowBefore before_;
    RowShown shown_;
    int cursor_ = -1;  // rows
    int anchor_ = -1;
    int top_ = 0;
    int left_ = 0;
};

}  // namespace undelete::terminal
