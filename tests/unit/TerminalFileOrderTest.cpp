#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/terminal/FileOrder.h"
#include "app/terminal/ListModel.h"

namespace undelete::terminal {
namespace {

DeletedFile file(const std::string& name, uint64_t size, uint64_t time,
                 FileState state = FileState::Unknown, const std::string& path = "/") {
    DeletedFile f;
    f.name = name;
    f.size = size;
    f.created = CreationTime::fileTime(time);
    f.state = state;
    f.path = path;
    return f;
}

TEST(TerminalFileOrderTest, SortsByExactValuesAndTheSameKeyAgainReverses) {
    // 900 B and 1,000,000 bytes: as texts ("900 B", "976.6 KB") they would
    // sort the other way round.
    const DeletedFile small = file("b.txt", 900, 20, FileState::Overwritten, "/z/");
    const DeletedFile large = file("A.txt", 1000000, 10, FileState::Intact, "/a/");
    FileOrder order = nextOrder(FileOrder{}, SortKey::Size);
    EXPECT_TRUE(fileBefore(small, large, order));
    order = nextOrder(order, SortKey::Size);
    EXPECT_TRUE(order.descending);
    EXPECT_TRUE(fileBefore(large, small, order));
    EXPECT_FALSE(fileBefore(small, large, order));

    EXPECT_TRUE(fileBefore(large, small, nextOrder(order, SortKey::Time)));  // ascending again
    EXPECT_TRUE(fileBefore(large, small, FileOrder{SortKey::Path, false}));
    EXPECT_TRUE(fileBefore(large, small, FileOrder{SortKey::State, false}));  // intact first
    EXPECT_TRUE(fileBefore(large, small, FileOrder{SortKey::Name, false}));
    // Row order: nothing goes before anything, so the rows keep theirs.
    EXPECT_FALSE(fileBefore(small, large, nextOrder(order, SortKey::Row)));
    EXPECT_FALSE(fileBefore(large, small, nextOrder(order, SortKey::Row)));

    SortKey key = SortKey::Row;
    EXPECT_TRUE(sortKeyOf('z', key));
    EXPECT_EQ(key, SortKey::Size);
    // The deletion time a recycle bin's record gave; none (0) first.
    DeletedFile recycled = small;
    recycled.deletedAt = 5;
    EXPECT_TRUE(sortKeyOf('d', key));
    EXPECT_TRUE(fileBefore(large, recycled, nextOrder(FileOrder{}, key)));
    EXPECT_TRUE(fileBefore(recycled, large, nextOrder(nextOrder(FileOrder{}, key), key)));
    EXPECT_FALSE(sortKeyOf('/', key));
}

TEST(TerminalFileOrderTest, NamesMatchWithoutCaseOnlyForAsciiLetters) {
    EXPECT_TRUE(nameMatches("Budget-2024.CSV", "budget"));
    EXPECT_TRUE(nameMatches("季度报告.txt", "报告"));
    EXPECT_TRUE(nameMatches("x", ""));
    EXPECT_FALSE(nameMatches("report.txt", "reports"));
    EXPECT_FALSE(nameMatches("ÄRGER.txt", "ärger"));  // bytes beyond ASCII are compared as they are
}

TEST(TerminalFileOrderTest, StatesHaveTextsOfTheirOwn) {
    std::vector<std::string> texts;
    for (FileState state :
         {FileState::Unknown, FileState::Intact, FileState::Partial, FileState::Overwritten,
          FileState::Encrypted})
        texts.emplace_back(stateText(state));
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end());
}

// The list keeps the shell's row positions while showing its own order.
class OrderedListTest : public ::testing::Test {
protected:
    void add(const std::string& name) {
        const int row = model.rowCount();
        model.insertRow(row, std::to_string(row), static_cast<uintptr_t>(100 + row));
        names.push_back(name);
        model.placeRow(row);
    }
    std::vector<std::string> shown() const {
        std::vector<std::string> result;
        for (int line = 0; line < model.lineCount(); ++line)
            result.push_back(names[static_cast<size_t>(model.rowAtLine(line))]);
        return result;
    }
    void order(bool byName, const std::string& part) {
        ListModel::RowBefore before;
        if (byName) before = [this](int a, int b) { return names[a] < names[b]; };
        ListModel::RowShown show;
        if (!part.empty())
            show = [this, part](int row) { return nameMatches(names[row], part); };
        model.setOrder(before, show);
    }

    ListModel model{4, true};
    std::vector<std::string> names;
};

TEST_F(OrderedListTest, NewRowsTakeTheirPlaceAndTheCursorStaysOnItsRow) {
    add("c");
    add("a");
    order(true, "");
    EXPECT_EQ(shown(), (std::vector<std::string>{"a", "c"}));
    model.moveCursorTo(1, SelectMode::Replace);  // "c", row 0
    add("b");                                      // arrives during the scan
    EXPECT_EQ(shown(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(model.cursor(), 2);
    EXPECT_EQ(model.firstSelected(), 0);  // rows are the shell's positions
    EXPECT_EQ(model.itemData(model.firstSelected()), 100u);

    order(false, "");  // back to row order
    EXPECT_EQ(shown(), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_EQ(model.cursor(), 0);
}

TEST_F(OrderedListTest, AFilterHidesRowsAndNothingHiddenStaysSelected) {
    for (const char* name : {"report.txt", "photo.jpg", "Report-2.txt", "notes.txt"}) add(name);
    model.moveCursorTo(0, SelectMode::Replace);
    model.moveCursorTo(3, SelectMode::Extend);  // every row
    order(true, "REPORT");
    EXPECT_EQ(shown(), (std::vector<std::string>{"Report-2.txt", "report.txt"}));
    EXPECT_EQ(model.selectedRows(), (std::vector<int>{2, 0}));  // in line order
    add("old report.doc");  // matches: shown at its place
    add("x.bin");           // does not: hidden
    EXPECT_EQ(shown(),
              (std::vector<std::string>{"Report-2.txt", "old report.doc", "report.txt"}));
    EXPECT_EQ(model.rowCount(), 6);

    order(false, "");  // cleared: every row again, only the shown ones kept selected
    EXPECT_EQ(model.lineCount(), 6);
    EXPECT_EQ(model.selectedRows(), (std::vector<int>{0, 2}));
    // Shift stretches over lines, not rows.
    order(true, "");
    model.moveCursorTo(0, SelectMode::Replace);  // "Report-2.txt"
    model.moveCursor(2, SelectMode::Extend);     // "notes.txt", "old report.doc"
    EXPECT_EQ(model.selectedRows(), (std::vector<int>{2, 3, 4}));
}

}  // namespace
}  // namespace undelete::terminal
