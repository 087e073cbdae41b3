// A report-view list as the terminal shows it: rows of column texts with
// item data, the selection, the cursor (the focused row) and the scroll
// position. No drawing here, so every rule can be tested on its own.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace undelete::terminal {

// How a cursor move treats the selection.
enum class SelectMode {
    Replace,  // the cursor row becomes the only selected row
    Extend,   // rows from the anchor to the cursor are selected (Shift)
    Keep,     // the selection stays as it is (Ctrl)
};

class ListModel {
public:
    ListModel(int columns, bool multipleSelection);

    int columns() const { return columns_; }
    int rowCount() const { return static_cast<int>(rows_.size()); }

    // Inserts a row at `position` (clamped to 0 … rowCount) with the text of
    // column 0; rows from there on move down, keeping their selection.
    void insertRow(int position, const std::string& firstText, uintptr_t itemData);
    // Ignored for a row or column that does not exist.
    void setText(int row, int column, const std::string& text);
    void clear();

    const std::string& text(int row, int column) const;  // "" when absent
    uintptr_t itemData(int row) const;                   // 0 when absent

    bool isSelected(int row) const;
    int firstSelected() const;  // −1: none
    int selectedCount() const;
    int cursor() const { return cursor_; }  // −1: no row has been focused yet

    // Moves the cursor by `delta` rows (clamped to the list); with no
    // cursor yet, any move lands on the first row.
    void moveCursor(int delta, SelectMode mode);
    // Moves the cursor to `row` (clamped), e.g. Home, End or a click.
    void moveCursorTo(int row, SelectMode mode);
    // Space: flips the cursor row in a multiple-selection list; selects it
    // in a single-selection one.
    void toggleCursorRow();
    // A click with Ctrl: flips `row` and puts the cursor there.
    void toggleRow(int row);

    // Vertical scrolling: the first row shown. `pageRows` is how many rows
    // the list has room for; the drawer passes it on every call.
    int top() const { return top_; }
    void scrollBy(int delta, int pageRows);
    // Scrolls as little as needed to show the cursor row.
    void revealCursor(int pageRows);

    // Horizontal scrolling in cells, for columns wider than the screen.
    int leftCell() const { return left_; }
    void scrollSideways(int delta, int contentWidth, int visibleWidth);

private:
    void select(int row, SelectMode mode);
    void clampTop(int pageRows);

    struct Row {
        std::vector<std::string> texts;
        uintptr_t itemData = 0;
        bool selected = false;
    };

    int columns_;
    bool multiple_;
    std::vector<Row> rows_;
    int cursor_ = -1;
    int anchor_ = -1;
    int top_ = 0;
    int left_ = 0;
};

}  // namespace undelete::terminal
