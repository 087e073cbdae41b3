#include <gtest/gtest.h>

#include "app/terminal/Curses.h"
#include "app/terminal/ListKeys.h"
#include "app/terminal/ListModel.h"

namespace undelete::terminal {
namespace {

ListModel filled(int rows, bool multiple) {
    ListModel model(4, multiple);
    for (int i = 0; i < rows; ++i)
        model.insertRow(i, std::to_string(i), static_cast<uintptr_t>(100 + i));
    return model;
}

std::vector<int> selected(const ListModel& model) {
    std::vector<int> rows;
    for (int i = 0; i < model.rowCount(); ++i) {
        if (model.isSelected(i)) rows.push_back(i);
    }
    return rows;
}

TEST(TerminalListModelTest, RowsKeepTextsAndItemData) {
    ListModel model = filled(3, true);
    model.setText(1, 1, "报告.txt");
    model.setText(1, 4, "ignored");   // no such column
    model.setText(7, 1, "ignored");   // no such row
    model.insertRow(99, "end", 7);    // clamped to the end
    model.insertRow(-5, "start", 8);  // clamped to the start
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.text(0, 0), "start");
    EXPECT_EQ(model.text(2, 1), "报告.txt");
    EXPECT_EQ(model.itemData(2), 101u);
    EXPECT_EQ(model.itemData(4), 7u);
    EXPECT_EQ(model.itemData(5), 0u);
    EXPECT_EQ(model.text(5, 0), "");
}

TEST(TerminalListModelTest, StartsWithNothingSelectedAndFirstMoveLandsOnRowZero) {
    ListModel model = filled(5, false);
    EXPECT_EQ(model.cursor(), -1);
    EXPECT_EQ(model.firstSelected(), -1);
    model.moveCursor(-1, SelectMode::Replace);  // Up with no cursor still lands on the first row
    EXPECT_EQ(model.cursor(), 0);
    EXPECT_EQ(model.firstSelected(), 0);
    ListModel empty(4, true);
    empty.moveCursor(1, SelectMode::Replace);
    empty.toggleCursorRow();
    EXPECT_EQ(empty.cursor(), -1);
    EXPECT_EQ(empty.firstSelected(), -1);
}

TEST(TerminalListModelTest, SingleSelectionFollowsTheCursor) {
    ListModel model = filled(5, false);
    model.moveCursorTo(3, SelectMode::Replace);
    model.moveCursor(-1, SelectMode::Extend);  // no stretching in a single-selection list
    EXPECT_EQ(selected(model), std::vector<int>{2});
    model.toggleCursorRow();  // Space keeps the row selected
    EXPECT_EQ(selected(model), std::vector<int>{2});
    model.moveCursor(10, SelectMode::Replace);
    EXPECT_EQ(model.cursor(), 4);
    EXPECT_EQ(selected(model), std::vector<int>{4});
}

TEST(TerminalListModelTest, MultipleSelectionTogglesStretchesAndKeeps) {
    ListModel model = filled(8, true);
    model.moveCursorTo(5, SelectMode::Replace);
    model.moveCursor(-2, SelectMode::Keep);  // Ctrl: the cursor moves alone
    EXPECT_EQ(model.cursor(), 3);
    model.toggleCursorRow();
    EXPECT_EQ(selected(model), (std::vector<int>{3, 5}));
    // The first selected row in list order is what the save command takes.
    EXPECT_EQ(model.firstSelected(), 3);
    model.toggleCursorRow();
    EXPECT_EQ(selected(model), std::vector<int>{5});

    model.moveCursorTo(1, SelectMode::Replace);
    model.moveCursor(3, SelectMode::Extend);
    EXPECT_EQ(selected(model), (std::vector<int>{1, 2, 3, 4}));
    model.moveCursor(-4, SelectMode::Extend);  // stretches to the other side of the anchor
    EXPECT_EQ(selected(model), (std::vector<int>{0, 1}));
    model.toggleRow(6);  // Ctrl-click
    EXPECT_EQ(selected(model), (std::vector<int>{0, 1, 6}));
    EXPECT_EQ(model.selectedCount(), 3);
}

TEST(TerminalListModelTest, InsertingAboveMovesSelectionAndCursorWithTheirRows) {
    ListModel model = filled(3, true);
    model.moveCursorTo(1, SelectMode::Replace);
    model.insertRow(0, "new", 9);
    EXPECT_EQ(model.cursor(), 2);
    EXPECT_EQ(selected(model), std::vector<int>{2});
    EXPECT_EQ(model.itemData(model.firstSelected()), 101u);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.cursor(), -1);
    EXPECT_EQ(model.firstSelected(), -1);
    EXPECT_EQ(model.top(), 0);
}

TEST(TerminalListModelTest, ScrollsJustEnoughToShowTheCursor) {
    ListModel model = filled(20, true);
    model.moveCursorTo(12, SelectMode::Replace);
    model.revealCursor(5);
    EXPECT_EQ(model.top(), 8);  // rows 8 … 12 shown
    model.moveCursorTo(10, SelectMode::Replace);
    model.revealCursor(5);
    EXPECT_EQ(model.top(), 8);  // already in view
    model.moveCursorTo(2, SelectMode::Replace);
    model.revealCursor(5);
    EXPECT_EQ(model.top(), 2);
    model.scrollBy(100, 5);
    EXPECT_EQ(model.top(), 15);  // the last page, not past it
    model.scrollBy(-100, 5);
    EXPECT_EQ(model.top(), 0);
    model.scrollBy(3, 50);  // everything fits: nothing to scroll
    EXPECT_EQ(model.top(), 0);

    model.scrollSideways(10, 75, 60);
    EXPECT_EQ(model.leftCell(), 10);
    model.scrollSideways(10, 75, 60);
    EXPECT_EQ(model.leftCell(), 15);
    model.scrollSideways(-40, 75, 60);
    EXPECT_EQ(model.leftCell(), 0);
    model.scrollSideways(4, 50, 60);
    EXPECT_EQ(model.leftCell(), 0);
}

TEST(TerminalListModelTest, KeysMoveTheCursorAndOnlySpaceOrShiftSelect) {
    ListModel model = filled(30, true);
    ModifiedKeys modified;
    modified.controlDown = 600;
    ListView view{model, 10, 75, 60};
    EXPECT_TRUE(applyListKey(view, KEY_DOWN, modified));
    EXPECT_EQ(model.cursor(), 0);
    EXPECT_EQ(selected(model), std::vector<int>{}) << "a move selected the row";
    EXPECT_TRUE(applyListKey(view, ' ', modified));
    EXPECT_EQ(selected(model), std::vector<int>{0});
    EXPECT_TRUE(applyListKey(view, KEY_NPAGE, modified));
    EXPECT_EQ(model.cursor(), 9);  // a page less the row kept in view
    EXPECT_TRUE(applyListKey(view, KEY_END, modified));
    EXPECT_EQ(model.cursor(), 29);
    EXPECT_EQ(model.top(), 20);
    EXPECT_TRUE(applyListKey(view, ' ', modified));
    EXPECT_EQ(selected(model), (std::vector<int>{0, 29}));
    EXPECT_TRUE(applyListKey(view, ' ', modified));
    EXPECT_EQ(selected(model), std::vector<int>{0});
    EXPECT_TRUE(applyListKey(view, KEY_HOME, modified));
    EXPECT_EQ(model.cursor(), 0);
    EXPECT_EQ(model.top(), 0);
    EXPECT_TRUE(applyListKey(view, KEY_SF, modified));  // Shift-Down, from where Home left it
    EXPECT_EQ(selected(model), (std::vector<int>{0, 1}));
    EXPECT_TRUE(applyListKey(view, 600, modified));  // Ctrl-Down
    EXPECT_TRUE(applyListKey(view, ' ', modified));
    EXPECT_EQ(selected(model), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(applyListKey(view, KEY_PPAGE, modified));
    EXPECT_EQ(model.cursor(), 0);
    EXPECT_EQ(selected(model), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(applyListKey(view, KEY_RIGHT, modified));
    EXPECT_EQ(model.leftCell(), kSidewaysStep);
    EXPECT_FALSE(applyListKey(view, 'x', modified));
    EXPECT_FALSE(applyListKey(view, 27, modified));  // Escape means nothing to a list

    // A list of one selection (the partitions): the selection follows.
    ListModel partitions = filled(3, false);
    ListView single{partitions, 10, 75, 60};
    applyListKey(single, KEY_DOWN, modified);
    applyListKey(single, KEY_DOWN, modified);
    EXPECT_EQ(selected(partitions), std::vector<int>{1});
}

}  // namespace
}  // namespace undelete::terminal
