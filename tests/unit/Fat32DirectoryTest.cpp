#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/Text.h"
#include "fat32/Fat32DirectoryParser.h"
#include "scan/RowTexts.h"
#include "unit/Fat32TestImage.h"

using namespace undelete;
using namespace undelete::test;

namespace {

class Fat32Directory : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(initProcessLocale()); }

    // Walks `dir` as a cluster of `length` bytes (default: the bytes built).
    std::vector<DeletedEntry> parse(const Directory& dir, size_t length = 0) {
        std::vector<DeletedEntry> catalogue;
        parseDirectoryCluster(dir.bytes.data(), length ? length : dir.bytes.size(), catalogue,
                              [this](uint32_t cluster) { entered.push_back(cluster); });
        return catalogue;
    }

    std::vector<uint32_t> entered;
};

std::u16string repeat(const std::u16string& piece, size_t times) {
    std::u16string text;
    for (size_t n = 0; n < times; ++n) text += piece;
    return text;
}

TEST_F(Fat32Directory, ShortNamesTakeHashForTheLostFirstCharacter) {
    Directory dir;
    dir.add(deletedFile("XEADME  TXT"))
        .add(deletedFile("XAKEFILE   "))
        .add(deletedFile("XAIN    H  "))
        .add(deletedFile("XB\0DEF  A\0C"));  // a zero byte ends each part
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].name, "#EADME.TXT");
    EXPECT_EQ(found[1].name, "#AKEFILE");
    EXPECT_EQ(found[2].name, "#AIN.H");
    EXPECT_EQ(found[3].name, "#B.A");
}

TEST_F(Fat32Directory, ShortEntryFieldsAreTakenAsStored) {
    Directory dir;
    dir.add([] {
        Entry e = shortEntry("XILE    BIN", 0x20, 0xF0012345u, 0xFFFFFFFFu, 0x3D21, 0x6B5F);
        e[0] = 0xE5;
        return e;
    }());
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].creationDate, 0x3D21);
    EXPECT_EQ(found[0].creationTime, 0x6B5F);
    EXPECT_EQ(found[0].firstCluster(), 0xF0012345u);  // reserved top bits kept
    EXPECT_EQ(found[0].fileSize, 0xFFFFFFFFu);
}

TEST_F(Fat32Directory, LongNamePiecesJoinInReadingOrder) {
    Directory dir;
    dir.add(longNameEntries(u"report.txt")).add(deletedFile("XEPORT  TXT", 7, 10));
    // Three pieces, the last one short: fillers must not reach the name.
    dir.add(longNameEntries(u"A rather long name for one.dat")).add(deletedFile("XRATHE~1DAT"));
    // Exactly 13 and 26 units: no terminator inside the piece.
    dir.add(longNameEntries(u"thirteen-char")).add(deletedFile("XHIRTE~1   "));
    dir.add(longNameEntries(u"twenty-six-characters.text")).add(deletedFile("XWENTY~1TEX"));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].name, "report.txt");
    EXPECT_EQ(found[0].firstCluster(), 7u);
    EXPECT_EQ(found[0].fileSize, 10u);
    EXPECT_EQ(found[1].name, "A rather long name for one.dat");
    EXPECT_EQ(found[2].name, "thirteen-char");
    EXPECT_EQ(found[3].name, "twenty-six-characters.text");
}

TEST_F(Fat32Directory, AZeroUnitEndsOnlyItsOwnPiece) {
    // Pieces written separately: the first in reading order ends early.
    auto tail = longNameEntries(u"cd");
    auto head = longNameEntries(u"ab");
    Directory dir;
    dir.add(tail).add(head).add(deletedFile("XBCD       "));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "abcd");
}

TEST_F(Fat32Directory, ChineseNamesAndUnpairedSurrogates) {
    Directory dir;
    dir.add(longNameEntries(u"报告.txt")).add(deletedFile("X_A5B~1 TXT"));
    dir.add(longNameEntries(std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00)))
        .add(deletedFile("XB~1       "));
    dir.add(longNameEntries(u"\U0001F600.txt")).add(deletedFile("XMOJI~1 TXT"));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "报告.txt");
    EXPECT_EQ(found[1].name, "a?b?");
    EXPECT_EQ(found[2].name, "\xF0\x9F\x98\x80.txt");
}

TEST_F(Fat32Directory, LongNamesAreWholeAndTheirRowTextIsCutAtACharacterBoundary) {
    // 100 characters of 3 bytes: 300 bytes, of which the 259-byte row text
    // holds 86 characters, never a part of the 87th.
    const std::u16string name = repeat(u"文", 100);
    Directory dir;
    dir.add(longNameEntries(name)).add(deletedFile("X~1        "));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name.size(), 300u);
    char text[260];
    std::memset(text, 'Z', sizeof text);
    formatNameText(found[0].name, text);
    EXPECT_EQ(std::strlen(text), 258u);
    for (size_t i = 258; i < sizeof text; ++i) ASSERT_EQ(text[i], 0) << i;
    for (size_t i = 0; i < 258; i += 3) ASSERT_EQ(std::string(text + i, 3), "文") << i;
}

TEST_F(Fat32Directory, RunsLongerThanTenPiecesKeepTheStartOfTheName) {
    // 12 pieces of 13 letters; a letter per piece tells which pieces survived.
    std::u16string name;
    for (char16_t c = u'a'; c < u'a' + 12; ++c) name += std::u16string(13, c);
    Directory dir;
    dir.add(longNameEntries(name)).add(deletedFile("XONG~1     ", 3, 99));
    dir.add(deletedFile("XEXT    TXT"));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 2u);
    std::string expected;
    for (char c = 'a'; c < 'a' + 10; ++c) expected += std::string(13, c);
    EXPECT_EQ(found[0].name, expected);
    EXPECT_EQ(found[0].fileSize, 99u);
    EXPECT_EQ(found[1].name, "#EXT.TXT");
}

TEST_F(Fat32Directory, RunReachingTheEndOfTheClusterYieldsNothing) {
    Directory dir;
    dir.add(deletedFile("XIRST   TXT"));
    dir.add(longNameEntries(u"cut off in the middle of its long name.txt"));  // 4 pieces
    dir.add(deletedFile("XUT~1   TXT"));
    // The cluster ends right after the run: its short entry is not there.
    const auto found = parse(dir, 5 * 32);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "#IRST.TXT");
    // A length that is not a whole number of entries ignores the partial one.
    EXPECT_EQ(parse(dir, 6 * 32 - 1).size(), 1u);
    EXPECT_EQ(parse(dir, 6 * 32).size(), 2u);
}

TEST_F(Fat32Directory, EntryAfterARunIsItsShortEntryWhateverItsMark) {
    Directory dir;
    dir.add(longNameEntries(u"Reused slot.txt"))
        .add(shortEntry("NEWFILE TXT", 0x20, 12, 345, 0x1111, 0x2222));
    dir.add(longNameEntries(u"Reused as dir")).add(shortEntry("NEWDIR     ", 0x10, 30));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "Reused slot.txt");
    EXPECT_EQ(found[0].fileSize, 345u);
    EXPECT_EQ(found[0].firstCluster(), 12u);
    EXPECT_EQ(found[0].creationDate, 0x1111);
    EXPECT_TRUE(entered.empty());  // the directory after a run is not walked
}

TEST_F(Fat32Directory, WhatIsWalkedAndWhatIsCatalogued) {
    Directory dir;
    dir.add(shortEntry(".          ", 0x10, 40))
        .add(shortEntry("..         ", 0x10, 41))
        .add(shortEntry(".HIDDEN    ", 0x10, 42))
        .add(longNameEntries(u"Live Name", false))       // live pieces pass alone
        .add(shortEntry("LIVENAME   ", 0x20, 43))
        .add(shortEntry("SUB        ", 0x10, 0x00020005u))  // high word counts
        .add([] { Entry e = shortEntry("XELDIR     ", 0x10, 44); e[0] = 0xE5; return e; }())
        .add([] { Entry e = shortEntry("XABEL      ", 0x08, 0, 0); e[0] = 0xE5; return e; }())
        .add(shortEntry("WEIRD      ", 0x1F, 45))  // 0x1F is not a long name
        .add(Entry{})                                // end of directory
        .add(deletedFile("XFTER   END"))
        .add(shortEntry("LATER      ", 0x10, 46));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "#ABEL");  // a deleted volume label is a file here
    EXPECT_EQ(entered, (std::vector<uint32_t>{0x00020005u, 45u}));
}

TEST_F(Fat32Directory, SubdirectoryIsEnteredWhereItStands) {
    Directory dir;
    dir.add(deletedFile("XEFORE     ")).add(shortEntry("SUB        ", 0x10, 9)).add(deletedFile("XFTER      "));
    std::vector<DeletedEntry> catalogue;
    std::vector<size_t> sizeWhenEntered;
    parseDirectoryCluster(dir.bytes.data(), dir.bytes.size(), catalogue,
                          [&](uint32_t) { sizeWhenEntered.push_back(catalogue.size()); });
    EXPECT_EQ(sizeWhenEntered, std::vector<size_t>{1});
    EXPECT_EQ(catalogue.size(), 2u);
}

}  // namespace
