// The deep scan on a hand-built FAT32 volume: a deleted folder's first
// cluster is reached from the tree, a later cluster of it only by the pass
// over free clusters; read through the drive's windows or copied, each
// deleted file comes once, the orphan under /$Orphan/ with its content. And
// a formatted tree: folders linked by their "." and ".." entries and their
// entries' clusters, a ".." cycle broken, every file listed once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/Text.h"
#include "fat/FatScanner.h"
#include "unit/Fat32TestImage.h"
#include "support/WholeContent.h"

using namespace undelete;
using namespace undelete::test;

namespace {

std::vector<std::string> listing(Fat32Volume& volume, MessageCapture& messages, bool deep) {
    ScanContext context = scanContext(volume.disk(), messages);
    context.deepScan = deep;
    FatScanner scanner(context);
    EXPECT_TRUE(scanner.open(&volume.record));
    std::vector<std::string> all;
    DeletedFile file;
    for (uint32_t i = 0; scanner.hasItem(i); ++i) {
        EXPECT_TRUE(scanner.describe(i, file));
        all.push_back(file.path + file.name);
        if (file.name != "Beach.jpg") continue;
        std::vector<uint8_t> content;
        EXPECT_TRUE(readWholeContent(scanner, i, content));
        EXPECT_EQ(content, std::vector<uint8_t>(200, 40));
    }
    return all;
}

TEST(FatDeepScan, FindsAFolderClusterNothingLinksToOnceWithOrWithoutWindows) {
    ASSERT_TRUE(initProcessLocale());
    Fat32Volume volume;
    volume.put(2, Directory().add(deletedNamedFile(u"Album", "ALBUM      ", 10, 0, 0x10)));
    volume.setFat(2, 0x0FFFFFFF);
    volume.put(10, Directory().add(dotEntries(10, 0)).add(deletedFile("XIRST   TXT", 20, 100)));
    // The folder's later cluster, no longer linked: only the pass finds it.
    volume.put(30, Directory().add(deletedNamedFile(u"Beach.jpg", "BEACH   JPG", 40, 200)));
    std::memset(volume.cluster(20), 20, 512);
    std::memset(volume.cluster(40), 40, 512);
    std::memset(volume.cluster(50), 'x', 512);  // file data: no entries
    MessageCapture messages;

    EXPECT_EQ(listing(volume, messages, false), (std::vector<std::string>{"/Album/#IRST.TXT"}));
    // A later cluster follows no folder's first: a folder whose name is lost.
    const std::vector<std::string> deep = {"/Album/#IRST.TXT", "/$Orphan/$Folder30/Beach.jpg"};
    EXPECT_EQ(listing(volume, messages, true), deep);
    // A drive that offers windows changes nothing: the pass reads.
    volume.disk().image().offersViews = true;
    EXPECT_EQ(listing(volume, messages, true), deep);
}

TEST(FatDeepScan, RebuildsFoldersNothingLinksToAndBreaksAParentCycle) {
    ASSERT_TRUE(initProcessLocale());
    Fat32Volume volume;
    volume.put(2, Directory().add(shortEntry("LIVE       ", 0x10, 5)));
    volume.put(5, Directory().add(dotEntries(5, 0)));
    volume.chain({2});
    volume.chain({5});
    // An old tree: DCIM (its name lost with the old root) holds 100CANON,
    // whose files are live; a second cluster of DCIM follows its first.
    volume.put(10, Directory()
                       .add(dotEntries(10, 0))
                       .add(liveNamedEntry(u"100CANON", "100CANON   ", 0x10, 12))
                       .add(shortEntry("A          ", 0x20, 60, 1))
                       .add(shortEntry("B          ", 0x20, 60, 1))
                       .add(shortEntry("C          ", 0x20, 60, 1))
                       .add(shortEntry("D          ", 0x20, 60, 1))
                       .add(shortEntry("E          ", 0x20, 60, 1))
                       .add(shortEntry("F          ", 0x20, 60, 1))
                       .add(shortEntry("G          ", 0x20, 60, 1))
                       .add(shortEntry("H          ", 0x20, 60, 1))
                       .add(shortEntry("I          ", 0x20, 60, 1))
                       .add(shortEntry("J          ", 0x20, 60, 1))
                       .add(shortEntry("K          ", 0x20, 60, 1))
                       .add(shortEntry("L          ", 0x20, 60, 1)));
    volume.put(11, Directory().add(liveNamedEntry(u"Notes.txt", "NOTES   TXT", 0x20, 61, 3)));
    volume.put(12, Directory()
                       .add(dotEntries(12, 10))
                       .add(liveNamedEntry(u"IMG_0001.JPG", "IMG_0001JPG", 0x20, 40, 200))
                       .add(deletedFile("XONE    JPG", 41, 10)));
    // A folder whose ".." names a live folder: listed under it.
    volume.put(20, Directory().add(dotEntries(20, 5)).add(shortEntry("KEPT    TXT", 0x20, 62, 4)));
    // Two folders, each the other's parent: the loop is cut.
    volume.put(30, Directory().add(dotEntries(30, 31)).add(shortEntry("X       TXT", 0x20, 63, 5)));
    volume.put(31, Directory().add(dotEntries(31, 30)).add(shortEntry("Y       TXT", 0x20, 64, 6)));
    std::memset(volume.cluster(40), 40, 512);
    MessageCapture messages;
    ScanContext context = scanContext(volume.disk(), messages);
    context.deepScan = true;
    FatScanner scanner(context);
    ASSERT_TRUE(scanner.open(&volume.record));
    std::vector<std::string> all;
    DeletedFile file;
    for (uint32_t i = 0; scanner.hasItem(i); ++i) {
        ASSERT_TRUE(scanner.describe(i, file));
        EXPECT_EQ(file.origin, FileOrigin::Orphan) << file.name;
        if (file.name.size() == 1) continue;  // DCIM's fillers
        all.push_back(file.path + file.name);
        if (file.name != "IMG_0001.JPG") continue;
        std::vector<uint8_t> content;
        EXPECT_TRUE(readWholeContent(scanner, i, content));
        EXPECT_EQ(content, std::vector<uint8_t>(200, 40));
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{
                       "/$Orphan/$Folder10/100CANON/#ONE.JPG",
                       "/$Orphan/$Folder10/100CANON/IMG_0001.JPG",
                       "/$Orphan/$Folder10/Notes.txt",
                       "/$Orphan/$Folder31/$Folder30/X.TXT",
                       "/$Orphan/$Folder31/Y.TXT",
                       "/LIVE/$Folder20/KEPT.TXT",
                   }));
}

}  // namespace
