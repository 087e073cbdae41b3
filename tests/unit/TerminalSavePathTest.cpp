#include <gtest/gtest.h>

#include <map>

#include "app/terminal/LineEditor.h"
#include "app/terminal/SavePath.h"
#include "common/Text.h"

namespace undelete::terminal {
namespace {

class FakeProbe : public PathProbe {
public:
    std::map<std::string, PathKind> kinds;
    PathKind kindOf(const std::string& path) const override {
        std::string key = path;
        if (key.size() > 1 && key.back() == '/') key.pop_back();  // as stat() takes "dir/"
        const auto it = kinds.find(key);
        return it == kinds.end() ? PathKind::Missing : it->second;
    }
};

class TerminalSavePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe.kinds = {{".", PathKind::Directory},        {"/", PathKind::Directory},
                       {"/home/u", PathKind::Directory},  {"/out", PathKind::Directory},
                       {"/out/old.txt", PathKind::File},  {"/out/sub", PathKind::Directory},
                       {"/out/fifo.txt", PathKind::Other}};
    }
    SavePathResult check(const std::string& typed) {
        return checkSavePath(typed, "txt", "/home/u", probe);
    }
    FakeProbe probe;
};

TEST_F(TerminalSavePathTest, AFolderForSeveralFilesMustExist) {
    EXPECT_EQ(checkSaveFolder(" /out/sub ", "/home/u", probe).check, SaveCheck::Ready);
    EXPECT_EQ(checkSaveFolder("~", "/home/u", probe).path, "/home/u");
    EXPECT_EQ(checkSaveFolder("~", "/home/u", probe).check, SaveCheck::Ready);
    EXPECT_EQ(checkSaveFolder("/out/old.txt", "/home/u", probe).check, SaveCheck::ParentMissing);
    EXPECT_EQ(checkSaveFolder("/nowhere", "/home/u", probe).check, SaveCheck::ParentMissing);
    EXPECT_EQ(checkSaveFolder("  ", "/home/u", probe).check, SaveCheck::Empty);
}

TEST_F(TerminalSavePathTest, AddsTheDefaultExtensionToANameWithoutOne) {
    EXPECT_EQ(check("/out/报告").path, "/out/报告.txt");
    EXPECT_EQ(check("/out/报告").check, SaveCheck::Ready);
    EXPECT_EQ(check("/out/data.csv").path, "/out/data.csv");
    EXPECT_EQ(check("/out/archive.tar.gz").path, "/out/archive.tar.gz");
    // A dot only at the start is a hidden name, not an extension.
    EXPECT_EQ(check("/out/.notes").path, "/out/.notes.txt");
    // A dot in a folder name does not count.
    probe.kinds["/out/v1.2"] = PathKind::Directory;
    EXPECT_EQ(check("/out/v1.2/readme").path, "/out/v1.2/readme.txt");
    EXPECT_EQ(checkSavePath("/out/x", "", "", probe).path, "/out/x");
}

TEST_F(TerminalSavePathTest, ARelativePathIsTakenInsideTheShownFolder) {
    EXPECT_EQ(inFolder("/home/u", " 报告.txt "), "/home/u/报告.txt");
    EXPECT_EQ(inFolder("/", "a"), "/a");
    EXPECT_EQ(inFolder("/home/u", "sub/a"), "/home/u/sub/a");
    EXPECT_EQ(inFolder("/home/u", "/out/a"), "/out/a");
    EXPECT_EQ(inFolder("/home/u", "~/a"), "~/a");
    EXPECT_EQ(inFolder("/home/u", "  "), "");
    EXPECT_EQ(check(inFolder("/out", "报告")).path, "/out/报告.txt");
}

TEST_F(TerminalSavePathTest, RelativeHomeAndBlanks) {
    const SavePathResult relative = check("  name  ");
    EXPECT_EQ(relative.path, "name.txt");
    EXPECT_EQ(relative.folder, ".");
    EXPECT_EQ(relative.check, SaveCheck::Ready);
    EXPECT_EQ(check("~/a").path, "/home/u/a.txt");
    EXPECT_EQ(check("~/a").check, SaveCheck::Ready);
    EXPECT_EQ(check("/top").folder, "/");
    EXPECT_EQ(check("/top").check, SaveCheck::Ready);
    EXPECT_EQ(check("~other/a").check, SaveCheck::ParentMissing);  // not expanded
}

TEST_F(TerminalSavePathTest, RefusesWhatCannotBeAFile) {
    EXPECT_EQ(check("").check, SaveCheck::Empty);
    EXPECT_EQ(check("   ").check, SaveCheck::Empty);
    EXPECT_EQ(check("/out/").check, SaveCheck::IsDirectory);
    EXPECT_EQ(check("/out/sub").check, SaveCheck::IsDirectory);
    EXPECT_EQ(check("/nowhere/").check, SaveCheck::Empty);
    probe.kinds["/out/sub.txt"] = PathKind::Directory;  // a folder once the extension is added
    EXPECT_EQ(check("/out/sub.txt").check, SaveCheck::IsDirectory);

    const SavePathResult missing = check("/out/nope/file");
    EXPECT_EQ(missing.check, SaveCheck::ParentMissing);
    EXPECT_EQ(missing.folder, "/out/nope");
    EXPECT_NE(savePathMessage(missing).find("/out/nope"), std::string::npos);
    // A file where the folder should be is no folder either.
    EXPECT_EQ(check("/out/old.txt/x").check, SaveCheck::ParentMissing);
    EXPECT_EQ(check("/out/" + std::string(kMaxSavePathBytes, 'a')).check, SaveCheck::TooLong);
}

TEST_F(TerminalSavePathTest, AnExistingFileNeedsConfirmation) {
    EXPECT_EQ(check("/out/old.txt").check, SaveCheck::NeedsConfirm);
    EXPECT_EQ(check("/out/old").check, SaveCheck::NeedsConfirm);  // after the extension is added
    EXPECT_EQ(check("/out/fifo.txt").check, SaveCheck::NeedsConfirm);
    EXPECT_NE(savePathMessage(check("/out/old")).find("/out/old.txt"), std::string::npos);
    EXPECT_EQ(savePathMessage(check("/out/new")), "");
}

TEST(TerminalLineEditorTest, EditsWholeCharacters) {
    ASSERT_TRUE(initProcessLocale());
    LineEditor editor(64);
    for (char32_t c : std::u32string(U"/tmp/报告")) EXPECT_TRUE(editor.insert(c));
    EXPECT_EQ(editor.text(), "/tmp/报告");
    editor.backspace();
    EXPECT_EQ(editor.text(), "/tmp/报");
    editor.home();
    editor.deleteAhead();
    editor.right();
    EXPECT_TRUE(editor.insert(U'x'));
    EXPECT_EQ(editor.text(),
              "tx"
              "mp/报");
    editor.end();
    editor.right();  // stays at the end
    EXPECT_EQ(editor.cursor(), 6u);
    EXPECT_FALSE(editor.insert(U'\x1B'));    // controls are refused
    EXPECT_FALSE(editor.insert(U'\u0301'));  // so are marks that take no cell
    EXPECT_FALSE(editor.insert(0xD800));
    EXPECT_EQ(editor.text(),
              "tx"
              "mp/报");
    editor.clear();
    EXPECT_EQ(editor.text(), "");
    editor.backspace();
    editor.left();
    EXPECT_EQ(editor.cursor(), 0u);
}

TEST(TerminalLineEditorTest, StopsAtTheByteLimit) {
    ASSERT_TRUE(initProcessLocale());
    LineEditor editor(5);
    EXPECT_TRUE(editor.insert(U'报'));   // 3 bytes
    EXPECT_FALSE(editor.insert(U'告'));  // would make 6
    EXPECT_TRUE(editor.insert(U'a'));
    EXPECT_TRUE(editor.insert(U'b'));
    EXPECT_FALSE(editor.insert(U'c'));
    EXPECT_EQ(editor.text(), "报ab");
}

TEST(TerminalLineEditorTest, KeepsTheCursorInView) {
    ASSERT_TRUE(initProcessLocale());
    LineEditor editor(256);
    for (char32_t c : std::u32string(U"0123456789报告报告")) editor.insert(c);
    int cell = -1;
    // 18 cells of text in a 10-cell field: the end is shown, with room for the cursor.
    const std::string shown = editor.visible(10, cell);
    EXPECT_EQ(shown, "9报告报告 ");
    EXPECT_EQ(cell, 9);
    editor.home();
    EXPECT_EQ(editor.visible(10, cell), "0123456789");
    EXPECT_EQ(cell, 0);
    for (int i = 0; i < 11; ++i) editor.right();  // just after the first 报
    const std::string middle = editor.visible(10, cell);
    EXPECT_EQ(displayWidth(middle), 10);
    EXPECT_LE(cell, 9);
    EXPECT_EQ(middle.substr(0, 1), "3");
}

}  // namespace
}  // namespace undelete::terminal
