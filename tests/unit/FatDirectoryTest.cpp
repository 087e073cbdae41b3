#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/Text.h"
#include "fat/FatDirectoryParser.h"
#include "scan/RowTexts.h"
#include "unit/Fat32TestImage.h"

using namespace undelete;
using namespace undelete::test;

namespace {

class FatDirectory : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(initProcessLocale()); }

    // Walks `dir` as a cluster of `length` bytes (default: the bytes built).
    std::vector<DeletedEntry> parse(const Directory& dir, size_t length = 0) {
        std::vector<DeletedEntry> catalogue;
        parseDirectory(dir.bytes.data(), length ? length : dir.bytes.size(), 3, catalogue,
                       [this](const Subdirectory& sub) {
                           entered.push_back(sub.cluster);
                           enteredNames.push_back(sub.name + (sub.deleted ? " (deleted)" : ""));
                       });
        for (const DeletedEntry& e : catalogue) EXPECT_EQ(e.folder, 3u);
        return catalogue;
    }

    std::vector<uint32_t> entered;
    std::vector<std::string> enteredNames;
};

std::u16string repeat(const std::u16string& piece, size_t times) {
    std::u16string text;
    for (size_t n = 0; n < times; ++n) text += piece;
    return text;
}

TEST_F(FatDirectory, ShortNamesTakeHashForTheLostFirstCharacter) {
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

TEST_F(FatDirectory, ShortEntryFieldsAreTakenAsStored) {
    Directory dir;
    dir.add([] {
        Entry e = shortEntry("XILE    BIN", 0x20, 0xF0012345u, 0xFFFFFFFFu, 0x3D21, 0x6B5F);
        e[0] = 0xE5;
        e[13] = 150;  // DIR_CrtTimeTenth
        return e;
    }());
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].creationDate, 0x3D21);
    EXPECT_EQ(found[0].creationTime, 0x6B5F);
    EXPECT_EQ(found[0].creationHundredths, 150);
    EXPECT_EQ(found[0].firstCluster(), 0xF0012345u);  // reserved top bits kept
    EXPECT_EQ(found[0].fileSize, 0xFFFFFFFFu);
}

TEST_F(FatDirectory, LongNamePiecesJoinInReadingOrder) {
    Directory dir;
    dir.add(deletedNamedFile(u"report.txt", "REPORT  TXT", 7, 10));
    // Three pieces, the last one short: fillers must not reach the name.
    dir.add(deletedNamedFile(u"A rather long name for one.dat", "ARATHE~1DAT"));
    // Exactly 13 and 26 units: no terminator inside the piece.
    dir.add(deletedNamedFile(u"thirteen-char", "THIRTE~1   "));
    dir.add(deletedNamedFile(u"twenty-six-characters.text", "TWENTY~1TEX"));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].name, "report.txt");
    EXPECT_EQ(found[0].firstCluster(), 7u);
    EXPECT_EQ(found[0].fileSize, 10u);
    EXPECT_EQ(found[1].name, "A rather long name for one.dat");
    EXPECT_EQ(found[2].name, "thirteen-char");
    EXPECT_EQ(found[3].name, "twenty-six-characters.text");
}

TEST_F(FatDirectory, AZeroUnitEndsOnlyItsOwnPiece) {
    // Pieces written separately: the first in reading order ends early.
    const uint8_t sum = checksumOf("ABCD       ");
    auto tail = longNameEntries(u"cd", true, sum);
    auto head = longNameEntries(u"ab", true, sum);
    Directory dir;
    dir.add(tail).add(head).add(deletedFile("XBCD       "));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "abcd");
}

TEST_F(FatDirectory, ChineseNamesAndUnpairedSurrogates) {
    Directory dir;
    dir.add(deletedNamedFile(u"报告.txt", "_A5B~1  TXT"));
    dir.add(deletedNamedFile(std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00),
                             "AB~1       "));
    dir.add(deletedNamedFile(u"\U0001F600.txt", "_MOJI~1 TXT"));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "报告.txt");
    EXPECT_EQ(found[1].name, "a?b?");
    EXPECT_EQ(found[2].name, "\xF0\x9F\x98\x80.txt");
}

TEST_F(FatDirectory, LongNamesAreWholeAndTheirRowTextIsCutAtACharacterBoundary) {
    // 100 characters of 3 bytes: 300 bytes, of which the 259-byte row text
    // holds 86 characters, never a part of the 87th.
    const std::u16string name = repeat(u"文", 100);
    Directory dir;
    dir.add(deletedNamedFile(name, "__~1       "));
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

TEST_F(FatDirectory, NamesOfUpTo255UnitsAreWholeAndLongerRunsKeepTheirStart) {
    // 15 pieces (195 letters and ".txt"): once cut after ten pieces, its
    // extension lost. Then 22 pieces of 13 letters, a letter per piece.
    const std::u16string long199 = std::u16string(195, u'n') + u".txt";
    std::u16string name22;
    for (char16_t c = u'a'; c < u'a' + 22; ++c) name22 += std::u16string(13, c);
    Directory dir;
    dir.add(deletedNamedFile(long199, "NNNNNN~1TXT", 3, 99));
    dir.add(deletedNamedFile(name22, "AAAAAA~1   ", 4, 7));
    dir.add(deletedFile("XEXT    TXT"));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, std::string(195, 'n') + ".txt");
    EXPECT_EQ(found[0].fileSize, 99u);
    std::string expected;
    for (char c = 'a'; c < 'a' + 20; ++c) expected += std::string(13, c);
    EXPECT_EQ(found[1].name, expected);
    EXPECT_EQ(found[2].name, "#EXT.TXT");
}

TEST_F(FatDirectory, ADeletedShortNameKeepsItsCaseBitsAndAStoredE5ItsLongName) {
    Directory dir;
    Entry lower = deletedFile("XOP     BIN");
    lower[12] = 0x18;  // base and extension were lower case
    Entry lowerBase = deletedFile("XOP     BIN");
    lowerBase[12] = 0x08;
    dir.add(lower).add(lowerBase);
    // "Õlong name here.txt": its 8.3 name began with 0xE5 (Õ in code page
    // 850), stored as 0x05, and the long name's checksum counts the 0x05.
    dir.add(deletedNamedFile(u"\u00D5long name here.txt", "\x05LONGN~1TXT", 5, 10));
    // A name starting with an ASCII letter cannot have had such a first byte.
    dir.add(deletedNamedFile(u"plain.txt", "\x05LAIN   TXT", 6, 10));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].name, "#op.bin");
    EXPECT_EQ(found[1].name, "#op.BIN");
    EXPECT_EQ(found[2].name, "\u00D5long name here.txt");
    EXPECT_EQ(found[3].name, "#LAIN.TXT");
}

TEST_F(FatDirectory, RunReachingTheEndOfTheDirectoryYieldsNothing) {
    Directory dir;
    dir.add(deletedFile("XIRST   TXT"));
    dir.add(deletedNamedFile(u"cut off in the middle of its long name.txt", "CUTOFF~1TXT"));
    // The cluster ends right after the run: its short entry is not there.
    const auto found = parse(dir, 5 * 32);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "#IRST.TXT");
    // A length that is not a whole number of entries ignores the partial one.
    EXPECT_EQ(parse(dir, 6 * 32 - 1).size(), 1u);
    EXPECT_EQ(parse(dir, 6 * 32).size(), 2u);
}

TEST_F(FatDirectory, AStaleLongNameIsNotJoinedToANewerShortEntry) {
    Directory dir;
    // A live short entry took the slot after a deleted run: it is live, not
    // listed, and a live directory there is walked under its own name.
    dir.add(longNameEntries(u"Reused slot.txt", true, checksumOf("REUSED~1TXT")))
        .add(shortEntry("NEWFILE TXT", 0x20, 12, 345));
    dir.add(longNameEntries(u"Reused as dir", true, checksumOf("REUSED~2   ")))
        .add(shortEntry("NEWDIR     ", 0x10, 30));
    // A deleted short entry after a run of another file's checksum keeps its
    // 8.3 name; one whose checksum needs a first byte that the long name
    // cannot start with (lower case, 'Q' for "report") is not joined either.
    dir.add(longNameEntries(u"old name.txt", true, checksumOf("OLDNAM~1TXT")))
        .add(deletedFile("XEWER   TXT", 5, 6));
    dir.add(longNameEntries(u"report.txt", true, checksumOf("QEPORT  TXT")))
        .add(deletedFile("XEPORT  TXT"));
    dir.add(longNameEntries(u"report.txt", true, checksumOf("rEPORT  TXT")))
        .add(deletedFile("XEPORT  TXT"));
    // Pieces of two checksums: only the run next to the short entry counts.
    dir.add(longNameEntries(u"stale", true, 0x11))
        .add(deletedNamedFile(u"fresh.txt", "FRESH   TXT"));
    // The checksum of a non-ASCII start accepts any byte a name can begin with.
    dir.add(deletedNamedFile(u"报告2.txt", "\xB1\xA8\xB8\xE6" "2~1 TXT"));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[0].name, "#EWER.TXT");
    EXPECT_EQ(found[0].fileSize, 6u);
    EXPECT_EQ(found[1].name, "#EPORT.TXT");
    EXPECT_EQ(found[2].name, "#EPORT.TXT");
    EXPECT_EQ(found[3].name, "fresh.txt");
    EXPECT_EQ(found[4].name, "报告2.txt");
    EXPECT_EQ(entered, std::vector<uint32_t>{30});
    EXPECT_EQ(enteredNames, std::vector<std::string>{"NEWDIR"});
}

TEST_F(FatDirectory, ShortNamesDecodeCodePage936WithAFallback) {
    Directory dir;
    // 报告 in code page 936 is B1 A8 B8 E6.
    dir.add(deletedFile("X\xB1\xA8\xB8\xE6   TXT"));
    dir.add(deletedFile("X\xC4\xE3\xBA\xC3   \xCE\xC4 "));  // 你好.文
    dir.add(deletedFile("XA\x80\xFF\x81   BIN"));  // no character: '?' each
    // Live directories: 0x05 stands for E5, case bits lower the name.
    Entry live = shortEntry("\x05\xA5\xB8\xF6       ", 0x10, 40);  // E5 A5 = 濂, B8 F6 = 个
    Entry lower = shortEntry("PHOTOS  JPG", 0x10, 41);
    lower[12] = 0x18;
    dir.add(live).add(lower);
    dir.add(liveNamedEntry(u"照片", "\xD5\xD5\xC6\xAC       ", 0x10, 42));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "#报告.TXT");
    EXPECT_EQ(found[1].name, "#你好.文");
    EXPECT_EQ(found[2].name, "#A???.BIN");
    ASSERT_EQ(enteredNames.size(), 3u);
    EXPECT_EQ(enteredNames[0], "濂个");
    EXPECT_EQ(enteredNames[1], "photos.jpg");
    EXPECT_EQ(enteredNames[2], "照片");
}

TEST_F(FatDirectory, WhatIsWalkedAndWhatIsCatalogued) {
    Directory dir;
    dir.add(shortEntry(".          ", 0x10, 40))
        .add(shortEntry("..         ", 0x10, 41))
        .add(shortEntry(".HIDDEN    ", 0x10, 42))
        .add(longNameEntries(u"Live Name", false))       // live pieces pass alone
        .add(shortEntry("LIVENAME   ", 0x20, 43))
        .add(shortEntry("SUB        ", 0x10, 0x00020005u))  // high word counts
        .add([] { Entry e = shortEntry("XELDIR     ", 0x10, 44); e[0] = 0xE5; return e; }())  // deleted folder
        .add([] { Entry e = shortEntry("XABEL      ", 0x08, 0, 0); e[0] = 0xE5; return e; }())
        .add(shortEntry("WEIRD      ", 0x1F, 45))  // 0x1F is not a long name
        .add(Entry{})                                // end of directory
        .add(deletedFile("XFTER   END"))
        .add(shortEntry("LATER      ", 0x10, 46));
    const auto found = parse(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "#ABEL");  // a deleted volume label is a file here
    EXPECT_EQ(entered, (std::vector<uint32_t>{0x00020005u, 44u, 45u}));
    EXPECT_EQ(enteredNames, (std::vector<std::string>{"SUB", "#ELDIR (deleted)", "WEIRD"}));
}

TEST_F(FatDirectory, SubdirectoryIsEnteredWhereItStands) {
    Directory dir;
    dir.add(deletedFile("XEFORE     ")).add(shortEntry("SUB        ", 0x10, 9)).add(deletedFile("XFTER      "));
    std::vector<DeletedEntry> catalogue;
    std::vector<size_t> sizeWhenEntered;
    parseDirectory(dir.bytes.data(), dir.bytes.size(), 0, catalogue,
                   [&](const Subdirectory&) { sizeWhenEntered.push_back(catalogue.size()); });
    EXPECT_EQ(sizeWhenEntered, std::vector<size_t>{1});
    EXPECT_EQ(catalogue.size(), 2u);
}

}  // namespace
